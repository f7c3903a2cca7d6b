#include "clisession.h"

#include "netport.h"
#include "portnames.h"

#include "clioutput.h"
#include "historylocation.h"
#include "outputfile.h"
#include "stringtable.h"

namespace QuiloCli {

bool namesHistory(const CCliStreams &io, const CCliOptions &o, const QString &path, const char *option)
{
    if (path.isEmpty() || path == QLatin1String("-"))
        return false;
    QStringList history{Quilo::DefaultHistoryFile()};
    const Quilo::HistoryLocation chosen = Quilo::ChooseHistory(o.historyUrl).location;
    if (chosen.kind == Quilo::HistoryLocation::Kind::SQLite)
        history << chosen.path;
    for (const QString &file : history)
        if (Quilo::SameFile(path, file)) {
            Say(io, LoadString(Str::CliErrHistoryFile).arg(QLatin1String(option), path));
            return true;
        }
    return false;
}

bool confirm(const CCliStreams &io, const QString &question)
{
    io.err->write(InertLines(question).toUtf8());
    if (!io.in)
        return false;
    const QString answer = QString::fromUtf8(io.in->readLine(256)).trimmed().toLower();
    if (answer.isEmpty())
        return false;
    // the words the question offers in the language spoken, and English ones whatever it is
    const QStringList yes = (LoadString(Str::CliYesWords) + QLatin1Char('|') + LoadSourceString(Str::CliYesWords))
                                .toLower()
                                .split(QLatin1Char('|'), Qt::SkipEmptyParts);
    return yes.contains(answer);
}

bool CSession::Setup(const CCliOptions &o)
{
    QIODevice *trace = nullptr;
    if (o.trace && namesHistory(m_io, o, o.traceFile, "--trace-file"))
        return false;
    if (o.trace) {
        if (o.traceFile.isEmpty()) {
            trace = m_io.err;
        } else {
            m_traceFile = std::make_unique<QFile>(o.traceFile);
            if (!m_traceFile->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
                Say(m_io, LoadString(Str::CliTraceFailed).arg(o.traceFile, m_traceFile->errorString()));
                return false;
            }
            trace = m_traceFile.get();
        }
    }
    m_capture = std::make_unique<CRawCapture>(trace);
    m_capture->Attach(m_doc.FrameLink());
    if (o.simulate) {
        if (!m_sim.Start(o.simPaceMs)) {
            Say(m_io, LoadString(Str::CliSimFailed).arg(m_sim.Error()));
            return false;
        }
        m_doc.SetPort(m_sim.DevicePath());
        m_portLabel = LoadString(Str::CliSimulated);
        m_portName = LoadSourceString(Str::CliSimulated);
    } else {
        m_doc.SetPort(o.portName);
        m_portLabel = m_portName = o.portName;
    }
    if (o.keyMode && !m_doc.SetKeyMode(1, o.userKeyText)) {
        Say(m_io, LoadString(Str::CliErrKeyText).arg(o.userKeyText));
        return false;
    }
    // Key mode sends the user key before every request: on a plain network port anyone on
    // the way can read it.
    if (o.keyMode && !o.simulate) {
        const Quilo::Net::ParsedAddress net = Quilo::Net::ParseAddress(Quilo::ResolvePortPath(o.portName));
        if (net.address && !net.address->tls)
            Say(m_io, LoadString(Str::CliWarning).arg(LoadString(Str::NetKeyPlain).arg(o.portName)));
    }
    return true;
}

int CSession::PortFailed()
{
    const CPortError &e = m_doc.ComPort().LastError();
    unsigned hint = Str::CliHintOther;
    if (e.code == Quilo::Serial::Failure::NoSuchDevice)
        hint = Str::CliHintMissing;
    else if (e.code == Quilo::Serial::Failure::Busy)
        hint = Str::CliHintBusy;
    else if (e.code == Quilo::Serial::Failure::PermissionDenied)
        hint = Str::CliHintPermission;
    QString reason = m_doc.LastSummary().portError;
    if (reason.isEmpty())
        reason = e.message;
    Say(m_io, LoadString(Str::CliErrPortOpen).arg(reason, LoadString(hint)));
    return ExitPortFailed;
}

const COperationSummary &CSession::Read(const CSetSpec &want, bool reload)
{
    const auto id = static_cast<Quilo::DataSetId>(want.dataSet);
    m_doc.ReadDataSet(want.event >= 0 ? Quilo::ReadRequest::Event(want.event)
                                      : Quilo::ReadRequest::Records(id, want.first, want.last),
                      reload);
    return m_doc.LastSummary();
}

} // namespace QuiloCli
