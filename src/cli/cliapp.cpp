#include "cliapp.h"

#include "cliargs.h"
#include "clioutput.h"
#include "clisession.h"
#include "cliwrites.h"
#include "completion.h"
#include "exporttable.h"
#include "comport.h"
#include "formatters.h"
#include "historycli.h"
#include "netport.h"
#include "outputfile.h"
#include "portnames.h"
#include "progress.h"
#include "quilofile.h"
#include "serialports.h"
#include "stringtable.h"
#include "tarveldoc.h"

#include <QCoreApplication>

#include <grp.h>
#include <unistd.h>

#include <memory>

namespace QuiloCli {

namespace {

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

// What a read brought back, set by set.
struct CReadRun
{
    QList<CExportSection> sections;
    bool portFailed = false;
    bool stopped = false;
    int read = 0;       // records read well
    qsizetype next = 0; // the first set not tried
};

// The output file, checked before the unit is asked anything (none for standard output).
// False, with the exit status in *status, when it cannot be the output.
bool openReadOutput(const CCliOptions &o, const CCliStreams &io, std::unique_ptr<Quilo::COutputFile> &file,
                    int *status)
{
    *status = ExitUsage;
    const bool toStdout = o.outputFile.isEmpty() || o.outputFile == QLatin1String("-");
    // One file for both would hold neither.
    if (!toStdout && o.trace && !o.traceFile.isEmpty() && Quilo::SameFile(o.traceFile, o.outputFile)) {
        Say(io, LoadString(Str::CliErrTraceSame).arg(o.outputFile));
        return false;
    }
    if (namesHistory(io, o, o.outputFile, "-o") || (o.trace && namesHistory(io, o, o.traceFile, "--trace-file")))
        return false;
    if (!toStdout) {
        file = std::make_unique<Quilo::COutputFile>(o.outputFile);
        if (!file->Open()) {
            Say(io, LoadString(Str::CliErrOutput).arg(o.outputFile, file->errorString()));
            return false;
        }
    }
    return true;
}

// Reads the sets asked for, one after the other, until all were tried, the port failed or
// Ctrl-C stopped it.
CReadRun readSets(const CCliOptions &o, const CCliStreams &io, CSession &session)
{
    int total = 0;
    for (const CSetSpec &want : o.sets)
        total += want.transactionCount();
    CTerminalProgress progress(io.err, io.errIsTerminal && !(o.trace && o.traceFile.isEmpty()), total);
    session.Doc().SetProgressSink(&progress);

    InstallInterruptHandler();
    CReadRun run;
    // Every set is tried: the engine gives up a set that brings no byte back (an older unit
    // may not know some commands), and the next set may well be answered.
    for (; run.next < o.sets.size(); ++run.next) {
        const CSetSpec &want = o.sets.at(run.next);
        if (IsStopRequested()) {
            run.stopped = true;
            break;
        }
        progress.BeginSet(want.label(), want.transactionCount());
        session.Capture()->TakeDiscarded();
        const COperationSummary &summary = session.Read(want);
        progress.EndSet();
        if (!summary.portOpened) {
            run.portFailed = true;
            break;
        }
        run.read += summary.read;
        run.sections << BuildSection(session.Doc().ReadOut(), want);
        run.sections.last().tried = summary.tried;
        run.sections.last().noReply = summary.noReply;
        run.sections.last().discarded = session.Capture()->TakeDiscarded();
        if (summary.stopped) {
            run.stopped = true;
            ++run.next;
            break;
        }
    }
    progress.Finish();
    session.Doc().ClearProgressSink(&progress);
    RemoveInterruptHandler();
    run.stopped = run.stopped || IsStopRequested();
    ClearStopRequest();
    // Sets not reached (Ctrl-C, a lost port) are listed all the same, as not read: the output
    // shows the whole request, not a shorter one that looks complete.
    if (!run.sections.isEmpty() || run.stopped)
        for (qsizetype i = run.next; i < o.sets.size(); ++i)
            run.sections << BuildSection(session.Doc().ReadOut(), o.sets.at(i));
    return run;
}

// The read-out to standard output or the file. Returns the exit status so far.
int writeReadOut(const CCliOptions &o, const CCliStreams &io, CSession &session, const CReadRun &run,
                 Quilo::COutputFile *file)
{
    if (run.sections.isEmpty())
        return ExitOk;
    QByteArray data;
    if (o.format == OutputFormat::Quilo) {
        Quilo::ReadOutInfo info;
        info.port = session.PortName();
        info.savedAt = QDateTime::currentDateTimeUtc();
        info.stopped = run.stopped;
        for (const CSetSpec &want : o.sets)
            info.request << want.label();
        data = Quilo::SaveReadOut(session.Doc().ReadOut(), info);
    } else {
        data = formatSections(o, session.Doc().ReadOut(), o.sets, MergeEvents(run.sections), session.PortName(), run.stopped);
    }
    if (!file)
        return WriteOut(io, data) ? ExitOk : ExitOutput;
    if (run.read == 0 && file->kind() == Quilo::COutputFile::Kind::RegularFile) {
        // An earlier, good read-out is worth more than a list of failures.
        file->Discard();
        Say(io, LoadString(Str::CliNothingRead).arg(o.outputFile));
        return ExitFailed;
    }
    if (!file->Write(data) || !file->Commit()) {
        Say(io, outputFailed(o.outputFile, *file));
        return ExitOutput;
    }
    return ExitOk;
}

// Says which sets failed or kept silent; `exit` becomes ExitFailed if it was ExitOk and any did.
int reportSets(const CCliStreams &io, const CSession &session, const QList<CExportSection> &sections, int exit)
{
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
    return exit;
}

int runRead(const CCliOptions &o, const CCliStreams &io)
{
    std::unique_ptr<Quilo::COutputFile> file;
    int status = ExitOk;
    if (!openReadOutput(o, io, file, &status))
        return status;
    CSession session(io);
    if (!session.Setup(o))
        return ExitUsage;

    const CReadRun run = readSets(o, io, session);
    int exit = writeReadOut(o, io, session, run, file.get());
    exit = reportSets(io, session, run.sections, exit);
    if (!o.traceFile.isEmpty() && !session.Capture()->TraceError().isEmpty()) {
        Say(io, LoadString(Str::CliErrTraceWrite).arg(o.traceFile, session.Capture()->TraceError()));
        exit = ExitOutput;
    }
    // A whole-unit read in which every set was tried is a visit of the unit.
    if (o.wholeUnit && !run.portFailed && !run.stopped && run.next == o.sets.size())
        RecordWholeUnitVisit(session.Doc(), session.PortName(), o.historyUrl, o.noHistory, io);
    if (run.portFailed) {
        const int portStatus = session.PortFailed();
        return exit == ExitOutput ? exit : portStatus;
    }
    if (run.stopped) {
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
    const Quilo::Result<QByteArray> bytes = Quilo::ReadFileBytes(o.inputFile);
    if (!bytes) {
        Say(io, LoadString(Str::CliErrShowRead).arg(o.inputFile, bytes.error()));
        return ExitNoInput;
    }
    const Quilo::Result<Quilo::ReadOutFile> parsed = Quilo::ParseReadOut(*bytes);
    if (!parsed) {
        Say(io, LoadString(Str::CliErrShowRead).arg(o.inputFile, parsed.error()));
        return ExitBadFile;
    }
    const Quilo::ReadOutFile &file = *parsed;
    const Quilo::ReadOut readOut = Quilo::ReadOut::FromRecords(file.records);

    QList<CSetSpec> sets = o.sets;
    if (sets.isEmpty()) {
        for (const QString &label : file.info.request) {
            const Quilo::Result<QList<CSetSpec>> named = ResolveSets(label.split(QLatin1Char(' ')));
            if (!named) {
                Say(io, LoadString(Str::CliErrShowRead).arg(o.inputFile, named.error()));
                return ExitBadFile;
            }
            sets << *named;
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

// The named network ports, and whether each answers: connected, its certificate checked and
// its line set up as a read-out would, then closed again without a byte of the unit's data.
QString networkPorts()
{
    const QList<Quilo::NamedPort> named = Quilo::NamedNetworkPorts();
    if (named.isEmpty())
        return QString();
    QList<QStringList> rows;
    for (const Quilo::NamedPort &port : named) {
        CComPort line(port.name);
        const bool answers = line.Open() == 1;
        line.Close();
        rows << QStringList{port.name, port.path, sourceText(port.source),
                            answers ? LoadString(Str::CliPortsAnswers)
                                    : LoadString(Str::CliPortsNoAnswer).arg(line.LastError().message)};
    }
    return QLatin1Char('\n') + LoadString(Str::CliPortsNetwork) + QLatin1Char('\n') + AlignedRows(rows, QStringLiteral("  "));
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
    out += networkPorts();
    return WriteOut(io, out.toUtf8()) ? ExitOk : ExitOutput;
}

// The command line's TLS files and connect time-out replace the settings' for this run.
void applyNetworkOptions(const CCliOptions &o)
{
    Quilo::Net::Options net = Quilo::Net::CurrentOptions();
    if (!o.caFile.isEmpty())
        net.caFile = o.caFile;
    if (!o.certFile.isEmpty())
        net.certFile = o.certFile;
    if (!o.keyFile.isEmpty())
        net.keyFile = o.keyFile;
    if (o.connectTimeoutS > 0)
        net.connectTimeoutMs = o.connectTimeoutS * 1000;
    Quilo::Net::SetOptions(net);
}

} // namespace

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
    applyNetworkOptions(o);
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
        return RunSetClock(o, io);
    case Command::WriteKey:
        return RunWriteKey(o, io);
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
