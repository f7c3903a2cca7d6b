#include "rawcapture.h"

#include "exporttable.h"
#include "fields.h"
#include "stringtable.h"

namespace QuiloCli {

CRawCapture::CRawCapture(QIODevice *trace)
    : m_trace(trace), m_wallStart(QDateTime::currentDateTime()), m_steadyStart(std::chrono::steady_clock::now())
{
}

void CRawCapture::Attach(Quilo::CFrameLink &link)
{
    link.SetTraceHook([this](const Quilo::TraceEvent &event) { OnFrame(event); });
}

void CRawCapture::OnFrame(const Quilo::TraceEvent &event)
{
    if (event.direction == Quilo::TraceDirection::Discarded)
        ++m_discarded;
    // After the first failure the trace stays as it is: a trace with holes would mislead.
    if (m_trace && m_traceError.isEmpty()) {
        const QByteArray line = TraceLine(event).toUtf8();
        if (m_trace->write(line) != line.size()) {
            m_traceError = m_trace->errorString();
            if (m_traceError.isEmpty())
                m_traceError = QStringLiteral("?");
        }
    }
}

int CRawCapture::TakeDiscarded()
{
    const int n = m_discarded;
    m_discarded = 0;
    return n;
}

QString CRawCapture::TraceLine(const Quilo::TraceEvent &event) const
{
    const auto sinceStart =
        std::chrono::duration_cast<std::chrono::milliseconds>(event.time - m_steadyStart).count();
    const QString time = m_wallStart.addMSecs(sinceStart).toString(QStringLiteral("HH:mm:ss.zzz"));
    const QByteArray hex =
        QByteArray(reinterpret_cast<const char *>(event.bytes.data()), static_cast<qsizetype>(event.bytes.size()))
            .toHex(' ')
            .toUpper();
    QString arrow;
    QString verdict;
    switch (event.direction) {
    case Quilo::TraceDirection::Sent:
        arrow = QStringLiteral("->");
        verdict = event.verdict == 0 ? LoadString(Str::CliTraceSent) : Quilo::ResultText(RecordStatus::AfterRead(event.verdict));
        break;
    case Quilo::TraceDirection::Received:
        arrow = QStringLiteral("<-");
        verdict = event.verdict == 0 ? LoadString(Str::CliTraceChecksumOk) : Quilo::ResultText(RecordStatus::AfterRead(event.verdict));
        break;
    case Quilo::TraceDirection::Discarded:
        arrow = QStringLiteral("<x");
        verdict = LoadString(Str::CliTraceDiscarded);
        break;
    }
    return QStringLiteral("%1 %2 %3  [%4]\n").arg(time, arrow, QString::fromLatin1(hex), verdict);
}

} // namespace QuiloCli
