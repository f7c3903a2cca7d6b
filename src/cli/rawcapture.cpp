#include "rawcapture.h"

#include "exporttable.h"
#include "fields.h"

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
    const std::span<const std::uint8_t> bytes = event.bytes;
    switch (event.direction) {
    case Quilo::TraceDirection::Sent:
        // Only a 2-byte request asks for data; the answer to a data frame is an echo.
        m_pending = bytes.size() == 2 ? keyOf(bytes[0], bytes[1]) : -1;
        break;
    case Quilo::TraceDirection::Received:
        if (m_pending >= 0) {
            const auto key = static_cast<quint16>(m_pending);
            if (event.verdict == Quilo::ResultOk && bytes.size() >= Quilo::kFrameOverhead)
                m_replies.insert(key, QByteArray(reinterpret_cast<const char *>(bytes.data()) + 2,
                                                 static_cast<qsizetype>(bytes.size() - Quilo::kFrameOverhead)));
            else
                m_replies.remove(key);
        }
        m_pending = -1;
        break;
    case Quilo::TraceDirection::Discarded:
        ++m_discarded;
        break;
    }
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

QByteArray CRawCapture::Reply(std::uint8_t command, std::uint8_t parameter) const
{
    return m_replies.value(keyOf(command, parameter));
}

QByteArray CRawCapture::Chunked(std::uint8_t command, std::size_t count) const
{
    QByteArray all;
    bool any = false;
    for (std::size_t k = 1; k <= count && k <= Quilo::kChunkLengths.size(); ++k) {
        const auto parameter = static_cast<std::uint8_t>(k);
        const QByteArray chunk = Reply(command, parameter);
        const auto length = static_cast<qsizetype>(Quilo::kChunkLengths[k - 1]);
        if (chunk.size() == length) {
            all += chunk;
            any = true;
        } else {
            all += QByteArray(length, '\0');
        }
    }
    return any ? all : QByteArray();
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
