#include "cliapp.h"

#include "cliargs.h"
#include "clioutput.h"
#include "completion.h"
#include "exporttable.h"
#include "formatters.h"
#include "historycli.h"
#include "historylocation.h"
#include "outputfile.h"
#include "portnames.h"
#include "progress.h"
#include "quilofile.h"
#include "rawcapture.h"
#include "serialports.h"
#include "simsource.h"
#include "fields.h"
#include "stringtable.h"
#include "tarveldoc.h"
#include "unitclock.h"

#include <QCoreApplication>
#include <QFile>

#include <grp.h>
#include <unistd.h>

#include <memory>

namespace QuiloCli {

namespace {

constexpr int kDone = RecordStatus::kDone;

// True (and the message said) when `path`, given with `option`, is the visit history's file or
// the outbox on this PC: a table or a trace written there would replace every visit recorded.
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

// One run's link to the unit: the document, the simulated unit when asked for, the trace.
class CSession
{
public:
    explicit CSession(const CCliStreams &io) : m_io(io) {}

    // False (and the message said) when the trace file or the simulated unit fails.
    bool Setup(const CCliOptions &o)
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
        return true;
    }

    // The line did not open: why, and what to do.
    int PortFailed()
    {
        const CPortError &e = m_doc.ComPort().LastError();
        unsigned hint = Str::CliHintOther;
        if (e.code == CPortError::NoSuchDevice)
            hint = Str::CliHintMissing;
        else if (e.code == CPortError::Busy)
            hint = Str::CliHintBusy;
        else if (e.code == CPortError::PermissionDenied)
            hint = Str::CliHintPermission;
        QString reason = m_doc.LastSummary().portError;
        if (reason.isEmpty())
            reason = e.message;
        Say(m_io, LoadString(Str::CliErrPortOpen).arg(reason, LoadString(hint)));
        return ExitPortFailed;
    }

    // `reload`: the records read before are read again too.
    const COperationSummary &Read(const CSetSpec &want, bool reload = false)
    {
        const auto id = static_cast<Quilo::DataSetId>(want.dataSet);
        m_doc.ReadDataSet(want.event >= 0 ? Quilo::ReadRequest::Event(want.event)
                                          : Quilo::ReadRequest::Records(id, want.first, want.last),
                          reload);
        return m_doc.LastSummary();
    }

    CTarvelDoc &Doc() { return m_doc; }
    CRawCapture *Capture() { return m_capture.get(); }
    // the port in messages, in the language spoken
    QString PortLabel() const { return m_portLabel; }
    // the port in files (JSON, read-out files), the same in every language
    QString PortName() const { return m_portName; }

private:
    const CCliStreams &m_io;
    CSimulatedSource m_sim; // outlives nothing that uses it: the document closes first
    CTarvelDoc m_doc;
    std::unique_ptr<QFile> m_traceFile;
    std::unique_ptr<CRawCapture> m_capture;
    QString m_portLabel;
    QString m_portName;
};

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

QString failedRows(const CExportSection &s)
{
    QStringList rows;
    for (const CExportRow &r : s.rows) {
        if (r.ok)
            continue;
        if (rows.size() == 8) {
            rows << QStringLiteral("...");
            break;
        }
        rows << FormatString(Str::RowNumber, r.number) + QLatin1Char(' ') + r.result;
    }
    return rows.join(QStringLiteral(", "));
}

// `sections` are those of `wanted`, in the language shown; JSON is built afresh in the
// program's own English, as scripts read it whatever the language.
QByteArray formatSections(const CCliOptions &o, const Quilo::ReadOut &readOut, const QList<CSetSpec> &wanted,
                          const QList<CExportSection> &sections, const QString &port, bool stopped)
{
    switch (o.format) {
    case OutputFormat::Csv:
        return FormatCsv(sections, o.separator.isNull() ? LocaleSeparator(QLocale()) : o.separator);
    case OutputFormat::Json:
        return Quilo::ExportJson(readOut, wanted, CExportInfo{port, stopped});
    case OutputFormat::Table:
    case OutputFormat::Quilo:
        break;
    }
    return FormatTable(sections);
}

// A write to -o that failed: a file replaced whole kept what it held, but a device or a FIFO
// may have taken part of the data already.
QString outputFailed(const QString &path, const Quilo::COutputFile &file)
{
    if (file.kind() == Quilo::COutputFile::Kind::Direct)
        return LoadString(Str::CliErrOutputCut).arg(path, file.errorString());
    return LoadString(Str::CliErrOutputWrite).arg(path, file.errorString());
}

QString setLabel(const CExportSection &s)
{
    return s.want.event >= 0 ? s.want.name : s.want.label();
}

int runRead(const CCliOptions &o, const CCliStreams &io)
{
    const bool toStdout = o.outputFile.isEmpty() || o.outputFile == QLatin1String("-");
    // One file for both would hold neither.
    if (!toStdout && o.trace && !o.traceFile.isEmpty() && Quilo::SameFile(o.traceFile, o.outputFile)) {
        Say(io, LoadString(Str::CliErrTraceSame).arg(o.outputFile));
        return ExitUsage;
    }
    if (namesHistory(io, o, o.outputFile, "-o") || (o.trace && namesHistory(io, o, o.traceFile, "--trace-file")))
        return ExitUsage;
    // The output file is checked before the unit is asked anything.
    std::unique_ptr<Quilo::COutputFile> file;
    if (!toStdout) {
        file = std::make_unique<Quilo::COutputFile>(o.outputFile);
        if (!file->Open()) {
            Say(io, LoadString(Str::CliErrOutput).arg(o.outputFile, file->errorString()));
            return ExitUsage;
        }
    }
    CSession session(io);
    if (!session.Setup(o))
        return ExitUsage;

    int total = 0;
    for (const CSetSpec &want : o.sets)
        total += want.transactionCount();
    CTerminalProgress progress(io.err, io.errIsTerminal && !(o.trace && o.traceFile.isEmpty()), total);
    session.Doc().m_pCommBar = &progress;

    InstallInterruptHandler();
    QList<CExportSection> sections;
    bool portFailed = false;
    bool stopped = false;
    int read = 0;
    qsizetype next = 0;
    // Every set is tried: the engine gives up a set that brings no byte back (an older unit
    // may not know some commands), and the next set may well be answered.
    for (; next < o.sets.size(); ++next) {
        const CSetSpec &want = o.sets.at(next);
        if (IsStopRequested()) {
            stopped = true;
            break;
        }
        progress.BeginSet(want.label(), want.transactionCount());
        session.Capture()->TakeDiscarded();
        const COperationSummary &summary = session.Read(want);
        progress.EndSet();
        if (!summary.portOpened) {
            portFailed = true;
            break;
        }
        read += summary.read;
        sections << BuildSection(session.Doc(), want);
        sections.last().tried = summary.tried;
        sections.last().noReply = summary.noReply;
        sections.last().discarded = session.Capture()->TakeDiscarded();
        if (summary.stopped) {
            stopped = true;
            ++next;
            break;
        }
    }
    progress.Finish();
    session.Doc().m_pCommBar = nullptr;
    RemoveInterruptHandler();
    stopped = stopped || IsStopRequested();
    ClearStopRequest();
    // Sets not reached (Ctrl-C, a lost port) are listed all the same, as not read: the output
    // shows the whole request, not a shorter one that looks complete.
    if (!sections.isEmpty() || stopped)
        for (qsizetype i = next; i < o.sets.size(); ++i)
            sections << BuildSection(session.Doc(), o.sets.at(i));

    int exit = ExitOk;
    if (!sections.isEmpty()) {
        QByteArray data;
        if (o.format == OutputFormat::Quilo) {
            Quilo::ReadOutInfo info;
            info.port = session.PortName();
            info.savedAt = QDateTime::currentDateTimeUtc();
            info.stopped = stopped;
            for (const CSetSpec &want : o.sets)
                info.request << want.label();
            data = Quilo::SaveReadOut(session.Doc(), info);
        } else {
            data = formatSections(o, session.Doc(), o.sets, MergeEvents(sections),
                                  session.PortName(), stopped);
        }
        if (!file) {
            if (!WriteOut(io, data))
                exit = ExitOutput;
        } else if (read == 0 && file->kind() == Quilo::COutputFile::Kind::RegularFile) {
            // An earlier, good read-out is worth more than a list of failures.
            file->Discard();
            Say(io, LoadString(Str::CliNothingRead).arg(o.outputFile));
            exit = ExitFailed;
        } else if (!file->Write(data) || !file->Commit()) {
            Say(io, outputFailed(o.outputFile, *file));
            exit = ExitOutput;
        }
    }

    QStringList silent;
    QStringList late;
    bool answered = false;
    for (const CExportSection &s : sections) {
        if (s.silent()) {
            (s.discarded > 0 ? late : silent) << setLabel(s);
            continue;
        }
        answered = answered || s.tried > 0;
        const int n = s.failedCount();
        if (n == 0)
            continue;
        if (exit == ExitOk)
            exit = ExitFailed;
        if (s.tried > 0)
            Say(io, LoadString(Str::CliSetFailed).arg(setLabel(s)).arg(n).arg(s.rows.size()).arg(failedRows(s)));
    }
    if (!silent.isEmpty() || !late.isEmpty()) {
        if (exit == ExitOk)
            exit = ExitFailed;
        if (!answered && late.isEmpty())
            Say(io, LoadString(Str::CliSilent).arg(session.PortLabel()));
        else if (!silent.isEmpty())
            Say(io, LoadString(Str::CliSilentSets).arg(session.PortLabel(), silent.join(QStringLiteral(", "))));
        if (!late.isEmpty())
            Say(io, LoadString(Str::CliLateSets).arg(session.PortLabel(), late.join(QStringLiteral(", "))));
    }
    if (!o.traceFile.isEmpty() && !session.Capture()->TraceError().isEmpty()) {
        Say(io, LoadString(Str::CliErrTraceWrite).arg(o.traceFile, session.Capture()->TraceError()));
        exit = ExitOutput;
    }
    // A whole-unit read in which every set was tried is a visit of the unit.
    if (o.wholeUnit && !portFailed && !stopped && next == o.sets.size())
        RecordWholeUnitVisit(session.Doc(), session.PortName(), o.historyUrl, o.noHistory, io);
    if (portFailed) {
        const int status = session.PortFailed();
        return exit == ExitOutput ? exit : status;
    }
    if (stopped) {
        Say(io, LoadString(Str::CliStopped));
        if (exit == ExitOk)
            exit = ExitFailed;
    }
    return exit;
}

// A saved read-out, printed as the read printed it: the sets it asked for (or those given), in
// the same forms, from the same document state.
int runShow(const CCliOptions &o, const CCliStreams &io)
{
    if (namesHistory(io, o, o.outputFile, "-o"))
        return ExitUsage;
    QByteArray bytes;
    QString error;
    if (!Quilo::ReadFileBytes(o.inputFile, &bytes, &error)) {
        Say(io, LoadString(Str::CliErrShowRead).arg(o.inputFile, error));
        return ExitNoInput;
    }
    Quilo::ReadOutFile file;
    if (!Quilo::ParseReadOut(bytes, &file, &error)) {
        Say(io, LoadString(Str::CliErrShowRead).arg(o.inputFile, error));
        return ExitBadFile;
    }
    const Quilo::ReadOut readOut = Quilo::ReadOut::FromRecords(file.records);

    QList<CSetSpec> sets = o.sets;
    if (sets.isEmpty()) {
        for (const QString &label : file.info.request) {
            QList<CSetSpec> named;
            if (!ResolveSets(label.split(QLatin1Char(' ')), &named, &error)) {
                Say(io, LoadString(Str::CliErrShowRead).arg(o.inputFile, error));
                return ExitBadFile;
            }
            sets << named;
        }
    }
    // Saved by the window: every set and group of which the file holds something.
    if (sets.isEmpty()) {
        for (const CSetSpec &want : AllSets()) {
            const unsigned first = want.event >= 0 ? static_cast<unsigned>(want.event) : want.first;
            const unsigned last = want.event >= 0 ? first : want.last;
            for (unsigned i = first; i <= last; ++i) {
                const CRecordMeta *meta = readOut.Meta(want.dataSet, i);
                if (!readOut.IsNotRead(want.dataSet, i) || (meta && !meta->chunkStatus.isEmpty())) {
                    sets << want;
                    break;
                }
            }
        }
    }
    const QList<CExportSection> sections = BuildSections(readOut, sets);
    const QByteArray data = sections.isEmpty()
                                ? QByteArray()
                                : formatSections(o, readOut, sets, sections, file.info.port, file.info.stopped);
    if (o.outputFile.isEmpty() || o.outputFile == QLatin1String("-"))
        return WriteOut(io, data) ? ExitOk : ExitOutput;
    Quilo::COutputFile output(o.outputFile);
    if (!output.Open() || !output.Write(data) || !output.Commit()) {
        Say(io, outputFailed(o.outputFile, output));
        return ExitOutput;
    }
    return ExitOk;
}

QString clockText(const std::array<std::uint8_t, 5> &bytes)
{
    CDateTimeField field;
    field.Parse(bytes.data());
    return field.GetText();
}

// The unit's clock as a plain date and time; invalid when its bytes are no real date.
QDateTime clockValue(const CDateTimeField &f)
{
    return Quilo::UnitClockToDateTime(Quilo::ClockBytesOf(f));
}

// The PC's wall clock to the minute, plain like the unit's.
QDateTime pcMinute()
{
    const QDateTime now = Quilo::PlainLocalNow();
    return Quilo::PlainDateTime(now.date(), QTime(now.time().hour(), now.time().minute()));
}

// The write's own result in words, for a reply that was neither acceptance nor refusal.
QString writeDamage(const COperationSummary &w)
{
    return ResultText(RecordStatus::AfterRead(w.writeResult));
}

int runSetClock(const CCliOptions &o, const CCliStreams &io)
{
    if (o.clockFromPc && (pcMinute().date().year() < 2000 || pcMinute().date().year() > 2099)) {
        Say(io, LoadString(Str::CliErrClockPc).arg(pcMinute().toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
        return ExitUsage;
    }
    CSession session(io);
    if (!session.Setup(o))
        return ExitUsage;
    CTarvelDoc &doc = session.Doc();
    CSetSpec clock;
    clock.dataSet = CTarvelDoc::dsDateTime;

    const int before = StatusFromSummary(session.Read(clock));
    if (!doc.LastSummary().portOpened)
        return session.PortFailed();
    const QString oldText =
        before == kDone ? doc.m_dateTime.GetText() : LoadString(Str::CliUnknownValue).arg(ResultText(before));
    const QString newText = o.clockFromPc
                                ? LoadString(Str::CliPcClock).arg(clockText(ClockBytes(pcMinute())))
                                : clockText(o.clockBytes);
    if (!o.yes && !confirm(io, LoadString(Str::CliConfirmClock).arg(oldText, newText))) {
        Say(io, LoadString(Str::CliDeclined));
        return ExitFailed;
    }
    // The PC's clock is taken when the write goes out, not when the question was asked.
    const QDateTime target = o.clockFromPc ? pcMinute() : o.clockValue;
    const std::array<std::uint8_t, 5> bytes = ClockBytes(target);
    // Written once only, whatever its answer: every write enters a change in the unit's date
    // modification log. After an unclear answer the engine has read the clock back instead.
    const int holds = doc.WriteDateTime(bytes.data());
    const COperationSummary &w = doc.LastSummary();
    if (!w.portOpened)
        return session.PortFailed();
    switch (w.readBack) {
    case COperationSummary::ReadBack::HoldsNew:
        Tell(io, LoadString(Str::CliClockDamagedNew).arg(writeDamage(w), doc.m_dateTime.GetText()));
        return ExitOk;
    case COperationSummary::ReadBack::HoldsOther:
        Say(io, LoadString(Str::CliClockDamagedOld).arg(writeDamage(w), doc.m_dateTime.GetText()));
        return ExitFailed;
    case COperationSummary::ReadBack::Failed:
        Say(io, LoadString(Str::CliClockDamagedUnknown).arg(writeDamage(w)));
        return ExitFailed;
    case COperationSummary::ReadBack::None:
        break;
    }
    if (!holds) {
        Say(io, LoadString(Str::CliWriteFailed).arg(ResultText(RecordStatus::AfterRead(w.writeResult))));
        return ExitFailed;
    }
    const int after = StatusFromSummary(session.Read(clock));
    if (!doc.LastSummary().portOpened)
        return session.PortFailed();
    if (after != kDone) {
        Say(io, LoadString(Str::CliReadBackFailed).arg(ResultText(after)));
        return ExitFailed;
    }
    // The unit's clock runs on: a read-back a minute or two later still holds the write.
    if (!ClockHolds(target, clockValue(doc.m_dateTime))) {
        Say(io, LoadString(Str::CliReadBackDiffer).arg(doc.m_dateTime.GetText(), clockText(bytes)));
        return ExitFailed;
    }
    Tell(io, LoadString(Str::CliReadBackOk).arg(doc.m_dateTime.GetText()));
    return ExitOk;
}

int runWriteKey(const CCliOptions &o, const CCliStreams &io)
{
    CSession session(io);
    if (!session.Setup(o))
        return ExitUsage;
    CTarvelDoc &doc = session.Doc();
    const unsigned index = o.keyGroup.first + static_cast<unsigned>(o.keyRow);
    CKeyField &entry = doc.m_aKeyTable[index];
    CSetSpec one = o.keyGroup;
    one.first = one.last = index;

    session.Read(one, true);
    if (!doc.LastSummary().portOpened)
        return session.PortFailed();
    const bool oldKnown = entry.m_nStatus == kDone;
    const QString oldKey = entry.GetText();
    const QString oldText = oldKnown ? oldKey : LoadString(Str::CliUnknownValue).arg(ResultText(entry.m_nStatus));
    if (!o.yes
        && !confirm(io, LoadString(Str::CliConfirmKey)
                            .arg(QString::number(o.keyRow + 1), LoadString(o.keyGroup.groupId),
                                 QString::number(index + 1), oldText, o.keyText))) {
        Say(io, LoadString(Str::CliDeclined));
        return ExitFailed;
    }
    const int holds = doc.WriteKeyEntry(o.keyText, index);
    const COperationSummary &w = doc.LastSummary();
    if (!w.portOpened)
        return session.PortFailed();
    // After an unclear answer the engine has read the entry back: say what the unit holds.
    switch (w.readBack) {
    case COperationSummary::ReadBack::HoldsNew:
        Tell(io, LoadString(Str::CliKeyDamagedNew).arg(writeDamage(w), entry.GetText()));
        return ExitOk;
    case COperationSummary::ReadBack::HoldsOther:
        if (oldKnown && entry.GetText() == oldKey)
            Say(io, LoadString(Str::CliKeyDamagedOld).arg(writeDamage(w), entry.GetText()));
        else
            Say(io, LoadString(Str::CliKeyDamagedOther).arg(writeDamage(w), entry.GetText()));
        return ExitFailed;
    case COperationSummary::ReadBack::Failed:
        // a command to type: the group's own name, not its name in the language spoken
        Say(io, LoadString(Str::CliKeyDamagedUnknown).arg(writeDamage(w), o.keyGroup.groupName));
        return ExitFailed;
    case COperationSummary::ReadBack::None:
        break;
    }
    if (!holds) {
        Say(io, LoadString(Str::CliWriteFailed).arg(ResultText(RecordStatus::AfterRead(w.writeResult))));
        return ExitFailed;
    }
    session.Read(one, true);
    if (!doc.LastSummary().portOpened)
        return session.PortFailed();
    if (entry.m_nStatus != kDone) {
        Say(io, LoadString(Str::CliReadBackFailed).arg(ResultText(entry.m_nStatus)));
        return ExitFailed;
    }
    if (entry.GetText() != o.keyText) {
        Say(io, LoadString(Str::CliReadBackDiffer).arg(entry.GetText(), o.keyText));
        return ExitFailed;
    }
    Tell(io, LoadString(Str::CliReadBackOk).arg(entry.GetText()));
    return ExitOk;
}

QString sourceText(Quilo::PortSource source)
{
    switch (source) {
    case Quilo::PortSource::Override: return LoadString(Str::CliSourceOverride);
    case Quilo::PortSource::Environment: return LoadString(Str::CliSourceEnvironment);
    case Quilo::PortSource::Settings: return LoadString(Str::CliSourceSettings);
    case Quilo::PortSource::Default: return LoadString(Str::CliSourceDefault);
    case Quilo::PortSource::Path:
    case Quilo::PortSource::None: break;
    }
    return QString();
}

// Serial ports open only for members of the group that owns them (dialout on Debian).
bool lacksDialout()
{
    if (geteuid() == 0)
        return false;
    const struct group *g = getgrnam("dialout");
    if (!g)
        return false;
    gid_t groups[256];
    const int n = getgroups(256, groups);
    for (int i = 0; i < n; ++i)
        if (groups[i] == g->gr_gid)
            return false;
    return getegid() != g->gr_gid;
}

int runPorts(const CCliStreams &io)
{
    QString out = LoadString(Str::CliPortsHeader) + QLatin1Char('\n');
    const QList<CSerialPortEntry> ports = ListSerialPorts();
    if (ports.isEmpty()) {
        out += LoadString(Str::CliPortsNone) + QLatin1Char('\n');
    } else {
        QList<QStringList> rows;
        for (const CSerialPortEntry &p : ports)
            rows << QStringList{p.devicePath, p.description, p.manufacturer, p.vidPid, p.serialNumber,
                                p.latencyTimerMs < 0 ? QString() : LoadString(Str::CliPortsLatency).arg(p.latencyTimerMs),
                                p.portNames.join(QLatin1Char(' '))};
        // The stable names go under their port, outside the columns: they are long.
        const QStringList lines = AlignedRows(rows, QStringLiteral("  ")).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (qsizetype i = 0; i < lines.size(); ++i) {
            out += lines.at(i) + QLatin1Char('\n');
            for (const QString &stable : ports.at(i).stableNames)
                out += LoadString(Str::CliPortsStableName).arg(stable) + QLatin1Char('\n');
        }
    }
    out += LoadString(Str::CliPortsNames) + QLatin1Char('\n');
    QList<QStringList> names;
    QString mappingError; // a malformed mapping leads every name nowhere: say why, once
    for (int i = 1; i <= 4; ++i) {
        const QString name = QStringLiteral("Com%1").arg(i);
        const Quilo::PortResolution r = Quilo::ResolvePort(name);
        names << QStringList{name, r.path.isEmpty() ? LoadString(Str::CliPortsNowhere) : r.path, sourceText(r.source)};
        if (mappingError.isEmpty())
            mappingError = r.error;
    }
    out += AlignedRows(names, QStringLiteral("  "));
    QString firstStable;
    for (const CSerialPortEntry &p : ports) {
        if (p.latencyTimerMs > 1)
            out += QLatin1Char('\n')
                   + LoadString(Str::CliPortsLatencyHint).arg(p.name).arg(p.latencyTimerMs).arg(p.latencyTimerFile)
                   + QLatin1Char('\n');
        if (firstStable.isEmpty() && !p.stableNames.isEmpty())
            firstStable = p.stableNames.first();
    }
    if (!firstStable.isEmpty())
        out += QLatin1Char('\n') + LoadString(Str::CliPortsStableHint).arg(firstStable) + QLatin1Char('\n');
    if (!mappingError.isEmpty())
        out += QLatin1Char('\n') + mappingError + QLatin1Char('\n');
    if (lacksDialout())
        out += QLatin1Char('\n') + LoadString(Str::CliPortsDialout) + QLatin1Char('\n');
    return WriteOut(io, out.toUtf8()) ? ExitOk : ExitOutput;
}

} // namespace

QString AlignedRows(const QList<QStringList> &rows, const QString &indent)
{
    QList<qsizetype> widths;
    for (const QStringList &r : rows)
        for (qsizetype c = 0; c < r.size(); ++c) {
            if (widths.size() <= c)
                widths << 0;
            widths[c] = std::max(widths[c], r.at(c).size());
        }
    QString out;
    for (const QStringList &r : rows) {
        QString line = indent;
        for (qsizetype c = 0; c < r.size(); ++c)
            line += r.at(c).leftJustified(c + 1 < r.size() ? widths.at(c) + 2 : 0);
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        out += line + QLatin1Char('\n');
    }
    return out;
}

int RunCli(const QStringList &arguments, const CCliStreams &io)
{
    // The shell's completion asks before anything is parsed: the words may be half typed.
    if (!arguments.isEmpty() && arguments.first() == QLatin1String(kCompleteCommand)) {
        const QStringList candidates = CompletionCandidates(arguments.mid(1));
        return WriteOut(io, candidates.isEmpty() ? QByteArray()
                                                 : (candidates.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8())
                   ? ExitOk
                   : ExitOutput;
    }
    const CParseResult parsed = ParseCommandLine(arguments);
    if (!parsed.ok()) {
        Say(io, parsed.error);
        return ExitUsage;
    }
    const CCliOptions &o = parsed.options;
    switch (o.command) {
    case Command::Help:
        return WriteOut(io, UsageText().toUtf8()) ? ExitOk : ExitOutput;
    case Command::Version:
        return WriteOut(io, (LoadString(Str::CliVersion).arg(QCoreApplication::applicationVersion()) + QLatin1Char('\n'))
                                .toUtf8())
                   ? ExitOk
                   : ExitOutput;
    case Command::Ports:
        return runPorts(io);
    case Command::Read:
        return runRead(o, io);
    case Command::Show:
        return runShow(o, io);
    case Command::SetClock:
        return runSetClock(o, io);
    case Command::WriteKey:
        return runWriteKey(o, io);
    case Command::History:
    case Command::Compare:
        return RunHistoryCommand(o, io);
    case Command::None:
        break;
    }
    Say(io, LoadString(Str::CliErrNoCommand));
    return ExitUsage;
}

} // namespace QuiloCli
