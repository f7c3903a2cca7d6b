// quilo-bench: how close the read-out comes to the wire's own limit, how long failure takes,
// and what it costs in CPU and memory. Prints one table: each line a figure and its goal.

#include "collectbench.h"
#include "historybench.h"
#include "sitebench.h"
#include "measure.h"
#include "readout.h"
#include "ser2netserver.h"

#include "comport.h"
#include "faults.h"
#include "filecommands.h"
#include "quilofile.h"
#include "leftview.h"
#include "mainframe.h"
#include "simulatedunit.h"
#include "tarvelapp.h"
#include "unitgenerator.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

using namespace QuiloBench;

namespace {

const QuiloSim::Key kUserKey{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
const QString kUserKeyText = QStringLiteral("01 - 23 45 67 89 AB CD - EF");

enum class Verdict { Info, Pass, Fail, Missing };

struct Row
{
    explicit Row(const QString &name, const QString &unitText = {}, int digits = 2, const QString &goalText = {})
        : figure(name), decimals(digits), unit(unitText), goal(goalText)
    {
    }

    QString figure;
    std::vector<double> runs; // one value per repetition; the median is shown
    int decimals = 2;
    QString unit;
    QString goal;             // empty: a figure without a goal of its own
    Verdict verdict = Verdict::Info;
    QString note;             // in place of the runs when set
};

class CTable
{
public:
    void add(Row row) { m_rows.push_back(std::move(row)); }
    // Adds a figure judged by `pass` on its median (and on every run when `everyRun`).
    template<class Pass>
    void judge(Row row, Pass pass, bool everyRun = false)
    {
        bool ok = !row.runs.empty() && pass(median(row.runs));
        if (everyRun)
            for (double v : row.runs)
                ok = ok && pass(v);
        row.verdict = row.runs.empty() ? Verdict::Missing : ok ? Verdict::Pass : Verdict::Fail;
        add(std::move(row));
    }
    int failures() const;
    void print() const;

private:
    std::vector<Row> m_rows;
};

QByteArray fixed(double value, int decimals)
{
    return QByteArray::number(value, 'f', decimals);
}

int CTable::failures() const
{
    int n = 0;
    for (const Row &r : m_rows)
        n += r.verdict == Verdict::Fail || r.verdict == Verdict::Missing;
    return n;
}

void CTable::print() const
{
    std::printf("%-50s %12s  %-22s %-14s %s\n", "figure", "median", "runs", "goal", "verdict");
    std::printf("%s\n", QByteArray(112, '-').constData());
    for (const Row &r : m_rows) {
        QByteArray value = "-";
        if (!r.runs.empty())
            value = fixed(median(r.runs), r.decimals) + ' ' + r.unit.toUtf8();
        QByteArray runs;
        if (!r.note.isEmpty()) {
            runs = r.note.toUtf8();
        } else {
            for (double v : r.runs)
                runs += (runs.isEmpty() ? "" : " ") + fixed(v, r.decimals);
        }
        const char *verdict = "";
        switch (r.verdict) {
        case Verdict::Info: break;
        case Verdict::Pass: verdict = "ok"; break;
        case Verdict::Fail: verdict = "MISSED"; break;
        case Verdict::Missing: verdict = "NOT MEASURED"; break;
        }
        std::printf("%-50s %12s  %-22s %-14s %s\n", r.figure.toUtf8().constData(), value.constData(),
                    runs.constData(), r.goal.toUtf8().constData(), verdict);
    }
}

void progress(const char *what, int run, int runs)
{
    std::fprintf(stderr, "bench: %s %d/%d\n", what, run, runs);
}

double seconds(std::int64_t ns)
{
    return static_cast<double>(ns) / 1e9;
}

double milliseconds(std::int64_t ns)
{
    return static_cast<double>(ns) / 1e6;
}

std::int64_t simBytes(const QuiloSim::CSimulatedUnit &unit)
{
    std::int64_t n = 0;
    for (const QuiloSim::Frame &f : unit.receivedFrames())
        n += f.bytes.size();
    for (const QByteArray &b : unit.sentFrames())
        n += b.size();
    return n;
}

bool startUnit(QuiloSim::CSimulatedUnit &unit)
{
    QString error;
    if (unit.start(&error))
        return true;
    std::fprintf(stderr, "bench: the simulated unit did not start: %s\n", qPrintable(error));
    return false;
}

// 1, 2 and 5: the whole unit at 9600 baud against the wire minimum of the same run. The
// unit's turnaround is 0, so the minimum is the byte count alone.
// Returns the median wall / wire ratio (0 when it could not be measured).
double pacedReadOut(CTable &table, bool keyMode, int repeat, int item)
{
    Row wall(QStringLiteral("%1 paced read-out%2: wall time").arg(item).arg(keyMode ? QStringLiteral(", key mode") : QString()));
    wall.unit = QStringLiteral("s");
    Row wire(QStringLiteral("  wire minimum of the bytes exchanged"));
    wire.unit = QStringLiteral("s");
    Row bytes(QStringLiteral("  bytes exchanged (both ways)"));
    bytes.decimals = 0;
    Row ratio(QStringLiteral("  wall / wire minimum"));
    ratio.decimals = 4;
    ratio.goal = QStringLiteral("<= 1.02");
    Row cpu(QStringLiteral("5 CPU / wall, reading thread%1").arg(keyMode ? QStringLiteral(", key mode") : QString()));
    cpu.unit = QStringLiteral("%");
    cpu.goal = QStringLiteral("< 5 %");
    QString problem;
    for (int run = 1; run <= repeat; ++run) {
        progress(keyMode ? "paced read-out, key mode" : "paced read-out", run, repeat);
        QuiloSim::CSimulatedUnit unit(QuiloSim::generateState(1));
        unit.setPacing(true);
        unit.setTurnaroundMs(0);
        if (keyMode)
            unit.setUserKey(kUserKey);
        if (!startUnit(unit))
            return 0;
        CTarvelDoc doc;
        doc.SetPort(unit.slavePath());
        if (keyMode)
            doc.SetKeyMode(1, kUserKeyText);
        CLineMeter meter(doc.FrameLink());
        const CReadOutResult r = readWholeUnit(doc, meter);
        unit.stop();
        if (r.failed)
            problem = QStringLiteral("%1 of %2 transactions failed").arg(r.failed).arg(r.transactions);
        else if (simBytes(unit) != meter.bytes())
            problem = QStringLiteral("byte counts differ: unit %1, program %2").arg(simBytes(unit)).arg(meter.bytes());
        const double wireSeconds = static_cast<double>(meter.bytes()) * kByteSeconds;
        wall.runs.push_back(seconds(r.wallNs));
        wire.runs.push_back(wireSeconds);
        bytes.runs.push_back(static_cast<double>(meter.bytes()));
        ratio.runs.push_back(seconds(r.wallNs) / wireSeconds);
        cpu.runs.push_back(100.0 * static_cast<double>(r.cpuNs) / static_cast<double>(r.wallNs));
    }
    if (!problem.isEmpty()) {
        ratio.note = problem;
        ratio.runs.clear();
    }
    const double directRatio = ratio.runs.empty() ? 0 : median(ratio.runs);
    table.add(wall);
    table.add(bytes);
    table.add(wire);
    table.judge(ratio, [](double v) { return v <= 1.02; });
    table.judge(cpu, [](double v) { return v < 5.0; });
    return directRatio;
}

QString lowLatencyText(Quilo::Serial::LowLatency mode)
{
    using Quilo::Serial::LowLatency;
    switch (mode) {
    case LowLatency::NotOpened: return QStringLiteral("port never opened");
    case LowLatency::Granted: return QStringLiteral("granted");
    case LowLatency::AlreadyOn: return QStringLiteral("already on");
    case LowLatency::NotSupported: return QStringLiteral("not supported by the driver");
    case LowLatency::Refused: return QStringLiteral("refused by the driver");
    }
    return {};
}

// 7: the paced read-out through a simulated USB adapter whose chip passes received bytes on
// only at the ticks of its latency timer: 16 ms, as FTDI adapters hold them when their driver
// is not in low-latency mode, and 1 ms, as they do in it. The difference is what low-latency
// mode saves; on a pseudo-terminal the driver cannot grant the mode itself.
void adapterReadOut(CTable &table, int repeat)
{
    struct Case { int latencyMs; const char *figure; };
    const Case cases[] = {
        {16, "7 through an adapter, latency timer 16 ms: wall"},
        {1, "7 the same at 1 ms (low-latency mode): wall"},
    };
    Row walls[2] = {Row(QString::fromLatin1(cases[0].figure), QStringLiteral("s")),
                    Row(QString::fromLatin1(cases[1].figure), QStringLiteral("s"))};
    Row ratios[2] = {Row(QStringLiteral("  wall / wire minimum, 16 ms bursts"), {}, 4),
                     Row(QStringLiteral("  wall / wire minimum, 1 ms bursts"), {}, 4)};
    Row saved(QStringLiteral("  time low-latency mode saves"), QStringLiteral("s"));
    Row mode(QStringLiteral("  low-latency mode at open (pseudo-terminal)"));
    // Figure 1's goal, plus at most one tick of the 1 ms timer per transaction.
    double goal = 0;
    QString problem;
    Quilo::Serial::LowLatency opened = Quilo::Serial::LowLatency::NotOpened;
    for (int run = 1; run <= repeat; ++run) {
        progress("paced read-out through an adapter", run, repeat);
        double wallSeconds[2] = {};
        for (std::size_t c = 0; c < std::size(cases); ++c) {
            QuiloSim::CSimulatedUnit unit(QuiloSim::generateState(1));
            unit.setPacing(true);
            unit.setTurnaroundMs(0);
            unit.setAdapterLatencyMs(cases[c].latencyMs);
            if (!startUnit(unit))
                return;
            CTarvelDoc doc;
            doc.SetPort(unit.slavePath());
            CLineMeter meter(doc.FrameLink());
            const CReadOutResult r = readWholeUnit(doc, meter);
            unit.stop();
            opened = doc.ComPort().LowLatencyMode();
            if (r.failed)
                problem = QStringLiteral("%1 of %2 transactions failed").arg(r.failed).arg(r.transactions);
            wallSeconds[c] = seconds(r.wallNs);
            walls[c].runs.push_back(wallSeconds[c]);
            const double wireSeconds = static_cast<double>(meter.bytes()) * kByteSeconds;
            ratios[c].runs.push_back(wallSeconds[c] / wireSeconds);
            goal = 1.02 + r.transactions * 0.001 / wireSeconds;
        }
        saved.runs.push_back(wallSeconds[0] - wallSeconds[1]);
    }
    mode.note = lowLatencyText(opened);
    if (!problem.isEmpty()) {
        ratios[1].note = problem;
        ratios[1].runs.clear();
    }
    table.add(walls[0]);
    table.add(ratios[0]);
    table.add(walls[1]);
    ratios[1].goal = QStringLiteral("<= %1").arg(goal, 0, 'f', 3);
    table.judge(ratios[1], [goal](double v) { return v <= goal; });
    table.add(saved);
    table.add(mode);
}

// 11: the paced read-out through ser2net on the loopback, raw and RFC 2217: what a serial
// device server costs against the wire minimum of the same run. Then the same through a
// network namespace whose loopback delays every packet by 10 ms (20 ms there and back, a
// distant venue), where the machine lets us make one (root, unshare, tc with netem).
void networkReadOut(CTable &table, int repeat, const QString &sim, const QString &cli)
{
    struct Case { Ser2NetServer::Mode mode; const char *figure; };
    const Case cases[] = {
        {Ser2NetServer::Mode::Raw, "11 through ser2net, raw TCP: wall"},
        {Ser2NetServer::Mode::Rfc2217, "11 through ser2net, RFC 2217: wall"},
    };
    double rfcWall = 0;
    for (const Case &c : cases) {
        Row wall(QString::fromLatin1(c.figure), QStringLiteral("s"));
        Row ratio(QStringLiteral("  wall / wire minimum"), {}, 4, QStringLiteral("<= 1.02"));
        QString problem;
        for (int run = 1; run <= repeat; ++run) {
            progress(c.figure, run, repeat);
            QuiloSim::CSimulatedUnit unit(QuiloSim::generateState(1));
            unit.setPacing(true);
            unit.setTurnaroundMs(0);
            if (!startUnit(unit))
                return;
            Ser2NetServer server;
            if (server.start(unit.slavePath(), c.mode) == 0) {
                problem = server.error();
                break;
            }
            CTarvelDoc doc;
            doc.SetPort(server.url());
            CLineMeter meter(doc.FrameLink());
            const CReadOutResult r = readWholeUnit(doc, meter);
            server.stop();
            unit.stop();
            if (r.failed)
                problem = QStringLiteral("%1 of %2 transactions failed").arg(r.failed).arg(r.transactions);
            wall.runs.push_back(seconds(r.wallNs));
            ratio.runs.push_back(seconds(r.wallNs) / (static_cast<double>(meter.bytes()) * kByteSeconds));
        }
        if (!problem.isEmpty()) {
            ratio.note = problem;
            ratio.runs.clear();
        }
        if (c.mode == Ser2NetServer::Mode::Rfc2217 && !wall.runs.empty())
            rfcWall = median(wall.runs);
        table.add(wall);
        table.judge(ratio, [](double v) { return v <= 1.02; });
    }

    Row delayed(QStringLiteral("11 RFC 2217, 20 ms round trip (netns + netem)"), QStringLiteral("s"));
    Row added(QStringLiteral("  added per transaction (912)"), QStringLiteral("ms"), 1);
    const QString ser2net = QStandardPaths::findExecutable(QStringLiteral("ser2net"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
    // The unit, ser2net and the read all inside the namespace; prints the read's milliseconds.
    static const char script[] = R"(set -e
ip link set lo up
tc qdisc add dev lo root netem delay 10ms
d=$(mktemp -d)
"$1" --link "$d/tty" --turnaround 0 >/dev/null 2>&1 & sim=$!
while [ ! -e "$d/tty" ]; do sleep 0.05; done
cat > "$d/s.yaml" <<EOF
connection: &unit
  accepter: telnet(rfc2217),tcp(nodelay),127.0.0.1,7001
  connector: serialdev,$(readlink -f "$d/tty"),9600n81,local
  options:
    chardelay: false
EOF
"$3" -n -d -u -c "$d/s.yaml" -P "$d/pid" >/dev/null 2>&1 & srv=$!
sleep 1
t0=$(date +%s%N)
"$2" read all --no-history -f json -o /dev/null -p rfc2217://127.0.0.1:7001
t1=$(date +%s%N)
kill $srv $sim
echo $(( (t1 - t0) / 1000000 ))
)";
    if (ser2net.isEmpty() || sim.isEmpty() || cli.isEmpty()) {
        delayed.note = QStringLiteral("not measured: needs ser2net, --sim and --cli");
    } else {
        for (int run = 1; run <= repeat && delayed.note.isEmpty(); ++run) {
            progress("read-out through a 20 ms network", run, repeat);
            QProcess p;
            p.start(QStringLiteral("unshare"), {QStringLiteral("-n"), QStringLiteral("sh"), QStringLiteral("-c"),
                                                QString::fromLatin1(script), QStringLiteral("sh"), sim, cli, ser2net});
            const bool done = p.waitForFinished(180000);
            bool ok = false;
            const double wallSeconds = QString::fromLatin1(p.readAllStandardOutput()).trimmed().toDouble(&ok) / 1000.0;
            if (!done || p.exitCode() != 0 || !ok) {
                delayed.note = QStringLiteral("not measured here (root, unshare and tc netem needed): %1")
                                   .arg(QString::fromLocal8Bit(p.readAllStandardError()).simplified().left(60));
                break;
            }
            delayed.runs.push_back(wallSeconds);
        }
    }
    if (!delayed.runs.empty() && rfcWall > 0)
        added.runs.push_back((median(delayed.runs) - rfcWall) * 1000.0 / 912.0);
    table.add(delayed);
    if (!added.runs.empty())
        table.add(added);
}

// 3: the program's own cost per transaction, against a unit that answers at once.
void instantReadOut(CTable &table, int repeat)
{
    Row rate(QStringLiteral("3 instant unit: transactions per second"));
    rate.decimals = 0;
    rate.unit = QStringLiteral("/s");
    Row avg(QStringLiteral("  mean time per transaction"));
    avg.decimals = 4;
    avg.unit = QStringLiteral("ms");
    avg.goal = QStringLiteral("< 0.1 ms");
    Row p99(QStringLiteral("  99th percentile per transaction"));
    p99.decimals = 4;
    p99.unit = QStringLiteral("ms");
    p99.goal = QStringLiteral("< 0.25 ms");
    Row own(QStringLiteral("  of which the program's, reply to next request"));
    own.decimals = 4;
    own.unit = QStringLiteral("ms");
    QuiloSim::CSimulatedUnit unit(QuiloSim::generateState(1));
    unit.setPacing(false);
    if (!startUnit(unit))
        return;
    QString problem;
    const int runs = std::max(repeat, 5);
    for (int run = 0; run <= runs; ++run) { // run 0 warms up and is not counted
        progress("instant unit", run, runs);
        CTarvelDoc doc;
        doc.SetPort(unit.slavePath());
        CLineMeter meter(doc.FrameLink());
        const CReadOutResult r = readWholeUnit(doc, meter);
        unit.clearTraffic();
        if (run == 0)
            continue;
        if (r.failed)
            problem = QStringLiteral("%1 of %2 transactions failed").arg(r.failed).arg(r.transactions);
        std::vector<double> times;
        for (std::int64_t ns : meter.transactionNs())
            times.push_back(milliseconds(ns));
        rate.runs.push_back(static_cast<double>(r.transactions) / seconds(r.wallNs));
        avg.runs.push_back(mean(times));
        p99.runs.push_back(quantile(times, 0.99));
        std::vector<double> turnarounds;
        for (std::int64_t ns : meter.turnaroundNs())
            turnarounds.push_back(milliseconds(ns));
        own.runs.push_back(mean(turnarounds));
    }
    unit.stop();
    if (!problem.isEmpty()) {
        avg.note = problem;
        avg.runs.clear();
    }
    table.add(rate);
    table.judge(avg, [](double v) { return v < 0.1; });
    table.judge(p99, [](double v) { return v < 0.25; });
    table.add(own);
}

// Three read attempts of 100 + 20 n ms for a reply of n bytes.
double silentFormulaMs(std::size_t dataBytes, int records)
{
    return records * 3.0 * (100.0 + 20.0 * static_cast<double>(dataBytes + Quilo::kFrameOverhead));
}

// 4: a unit that never answers: the time-outs, neither shorter nor longer. A log is given up
// after kSilentRecords silent records in a row, so that many records' time-outs are the formula.
void silentUnit(CTable &table, int repeat)
{
    struct Case { const char *figure; int dataSet; std::size_t dataBytes; int records; };
    constexpr int kGivenUpAfter = CTarvelDoc::kSilentRecords;
    static_assert(kGivenUpAfter < 6, "the yearly log's figure expects the silence rule to give it up");
    const Case cases[] = {
        {"4 silent unit, one record (counters)", CTarvelDoc::dsCounters, CCountersRecord::kWireLength, 1},
        {"4 silent unit, yearly log (given up after 3 of 6)", CTarvelDoc::dsYearly, CYearlyRecord::kWireLength,
         kGivenUpAfter},
    };
    std::vector<Row> measured, ratios;
    for (const Case &c : cases) {
        const double formula = silentFormulaMs(c.dataBytes, c.records);
        Row m(QString::fromLatin1(c.figure));
        m.unit = QStringLiteral("ms");
        m.decimals = 1;
        m.note = QStringLiteral("formula %1 ms").arg(formula);
        Row r(QStringLiteral("  measured / formula"));
        r.decimals = 4;
        r.goal = QStringLiteral("1 .. 1.03");
        measured.push_back(m);
        ratios.push_back(r);
    }
    QuiloSim::CSimulatedUnit unit(QuiloSim::generateState(1));
    unit.addFault(*QuiloSim::parseFault(QStringLiteral("any=silent")));
    if (!startUnit(unit))
        return;
    for (int run = 1; run <= repeat; ++run) {
        progress("silent unit", run, repeat);
        CTarvelDoc doc;
        doc.SetPort(unit.slavePath());
        CLineMeter meter(doc.FrameLink());
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            const CReadOutResult r = readDataSet(doc, meter, cases[i].dataSet);
            const double ms = milliseconds(r.wallNs);
            measured[i].runs.push_back(ms);
            ratios[i].runs.push_back(ms / silentFormulaMs(cases[i].dataBytes, cases[i].records));
        }
    }
    unit.stop();
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        table.add(measured[i]);
        // Never shorter, in any run.
        table.judge(ratios[i], [](double v) { return v >= 1.0 && v <= 1.03; }, true);
    }
}

// A quilo-sim process on a pseudo-terminal of its own; empty path when it did not start.
QString startSimProcess(CChildProcess &sim, const QString &program)
{
    QString error;
    if (!sim.start(program, {QStringLiteral("--no-pace")}, {}, true, &error)) {
        std::fprintf(stderr, "bench: %s\n", qPrintable(error));
        return {};
    }
    return QString::fromLocal8Bit(sim.readLine(10000)).trimmed();
}

// 6: peak resident memory of a front end that reads from a quilo-sim process.
void peakMemory(CTable &table, const QString &figure, double goalMiB, const QString &simProgram,
                const QString &program, int repeat, bool window)
{
    Row row(figure);
    row.unit = QStringLiteral("MiB");
    row.decimals = 1;
    row.goal = QStringLiteral("< %1 MiB").arg(goalMiB);
    if (program.isEmpty() || !QFile::exists(program) || !QFile::exists(simProgram)) {
        row.note = QStringLiteral("%1 not built").arg(QFile::exists(simProgram) ? program : simProgram);
        table.judge(row, [](double) { return false; });
        return;
    }
    int visited = -1;
    for (int run = 1; run <= repeat; ++run) {
        progress(window ? "window peak memory" : "command line peak memory", run, repeat);
        CChildProcess sim;
        const QString path = startSimProcess(sim, simProgram);
        if (path.isEmpty()) {
            row.note = QStringLiteral("quilo-sim did not start");
            break;
        }
        QTemporaryDir pictures;
        QStringList arguments;
        QStringList environment;
        if (window) {
            arguments << QStringLiteral("--screenshots") << pictures.path();
            environment << QStringLiteral("QUILO_PORTS=Com2=") + path << QStringLiteral("QT_QPA_PLATFORM=offscreen");
        } else {
            arguments << QStringLiteral("--port") << path << QStringLiteral("read") << QStringLiteral("all");
        }
        CChildProcess child;
        QString error;
        long peakKiB = 0;
        if (!child.start(program, arguments, environment, false, &error) || !child.wait(window ? 120000 : 300000, &peakKiB, &error)) {
            row.note = QStringLiteral("%1: %2").arg(QFileInfo(program).fileName(), error);
            break;
        }
        sim.terminate();
        row.runs.push_back(static_cast<double>(peakKiB) / 1024.0);
        if (window) // one picture per view visited, the start page and the About box
            visited = static_cast<int>(QDir(pictures.path()).entryList({QStringLiteral("*.png")}).size());
    }
    if (window && visited >= 0)
        row.figure += QStringLiteral(" (%1 pictures)").arg(visited);
    if (!row.note.isEmpty())
        row.runs.clear();
    table.judge(row, [goalMiB](double v) { return v < goalMiB; });
}

QString cpuModel()
{
    QFile f(QStringLiteral("/proc/cpuinfo"));
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : f.readAll().split('\n'))
            if (line.startsWith("model name"))
                return QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
    }
    return QSysInfo::currentCpuArchitecture();
}

QString loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromUtf8(f.readAll().split(' ').mid(0, 3).join(' '));
}

} // namespace

// Turns the event loop until `done` holds or `timeoutMs` pass; false on time-out.
template<class Done>
bool spinUntil(Done done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    // a wake-up now and then, so that waiting for more events never outlasts the time-out
    QTimer wake;
    wake.start(50);
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// 8: the window during a paced whole-unit read-out through the line's thread. A timer on the
// window's thread measures how late the event loop serves it; the daily log's list is on show
// and fills in as the records come. Then a paced read is stopped half-way. The thread's cost is
// judged against figure 1's direct read of the same run (`directRatio`), which a loaded machine
// slows alike: at most half a per cent more.
constexpr double kThreadOverDirect = 1.005;
void windowDuringReadOut(CTable &table, int repeat, double directRatio)
{
    constexpr int kTickMs = 5;
    const double ratioGoal = directRatio * kThreadOverDirect;
    Row p99(QStringLiteral("8 window event loop during read-out: p99 late"), QStringLiteral("ms"), 2, QStringLiteral("< 16 ms"));
    Row worst(QStringLiteral("  max late"), QStringLiteral("ms"), 2, QStringLiteral("< 50 ms"));
    Row ratio(QStringLiteral("  whole unit through the line's thread: wall / wire"), QString(), 4,
              QStringLiteral("<= %1 (fig. 1 x %2)").arg(ratioGoal, 0, 'f', 4).arg(kThreadOverDirect));
    Row stop(QStringLiteral("  Stop to idle, daily log at 9600 baud"), QStringLiteral("ms"), 1,
             QStringLiteral("< %1 ms").arg(3 * (100 + 20 * 29)));
    QString problem;
    for (int run = 1; run <= repeat && problem.isEmpty(); ++run) {
        progress("window during a paced read-out", run, repeat);
        QuiloSim::CSimulatedUnit unit(QuiloSim::generateState(1));
        unit.setPacing(true);
        unit.setTurnaroundMs(0);
        if (!startUnit(unit))
            return;
        CComPort::SetPortMapping(QStringLiteral("Com2"), unit.slavePath());
        {
            CTarvelApp app;
            app.InitInstance();
            CTarvelDoc &doc = *app.m_pDoc;
            CMainFrame &frame = *app.mainFrame();
            // the daily log on show: its read first, then the whole unit with its rows refilled
            frame.leftView()->setCurrentItem(frame.leftView()->findItem({QStringLiteral("Counters"), QStringLiteral("daily")}));
            if (!spinUntil([&] { return !doc.IsBusy(); }, 60000)) {
                problem = QStringLiteral("the daily log did not end");
                break;
            }
            for (auto &r : doc.m_aDaily)
                r.m_nStatus = 0;

            CLineMeter meter(doc.FrameLink());
            std::vector<double> late;
            QElapsedTimer tick;
            QTimer timer;
            timer.setTimerType(Qt::PreciseTimer);
            timer.setInterval(kTickMs);
            QObject::connect(&timer, &QTimer::timeout, [&] {
                late.push_back(std::max(0.0, static_cast<double>(tick.nsecsElapsed()) / 1e6 - kTickMs));
                tick.restart();
            });
            const std::int64_t wall0 = wallNs();
            if (!doc.StartReadAll()) {
                problem = QStringLiteral("the read-out did not start");
                break;
            }
            tick.start();
            timer.start();
            const bool ended = spinUntil([&] { return !doc.IsBusy(); }, 300000);
            const std::int64_t wall = wallNs() - wall0;
            timer.stop();
            int failed = 0;
            for (const COperationSummary &s : doc.LastSummaries())
                failed += s.failed() + (s.portOpened ? 0 : 1);
            if (!ended || failed > 0 || late.empty()) {
                problem = QStringLiteral("the read-out failed");
                break;
            }
            p99.runs.push_back(quantile(late, 0.99));
            worst.runs.push_back(*std::max_element(late.begin(), late.end()));
            ratio.runs.push_back(seconds(wall) / (static_cast<double>(meter.bytes()) * kByteSeconds));

            // Stop in the middle of the daily log
            frame.OnCommand(Str::CmdLoad);
            spinUntil([&] { return doc.m_aDaily[10].IsRead(); }, 30000);
            const std::int64_t stop0 = wallNs();
            frame.OnCommand(Str::CmdStop);
            spinUntil([&] { return !doc.IsBusy(); }, 30000);
            stop.runs.push_back(milliseconds(wallNs() - stop0));
        }
        CComPort::SetPortMapping(QStringLiteral("Com2"), QString());
        unit.stop();
    }
    if (!problem.isEmpty()) {
        p99.note = problem;
        p99.runs.clear();
    }
    table.judge(p99, [](double v) { return v < 16; });
    table.judge(worst, [](double v) { return v < 50; });
    if (directRatio <= 0) {
        ratio.note = QStringLiteral("figure 1 not measured");
        ratio.runs.clear();
    }
    table.judge(ratio, [ratioGoal](double v) { return v <= ratioGoal; });
    table.judge(stop, [](double v) { return v < 3 * (100 + 20 * 29); }, true);
}

// 10: a whole-unit read-out kept: saving it as a .quilo file, its size, and opening it in the
// window with the daily log on show.
void readOutFiles(CTable &table, int repeat)
{
    Row save(QStringLiteral("10 save a whole-unit read-out (.quilo)"), QStringLiteral("ms"), 1, QStringLiteral("< 50 ms"));
    Row size(QStringLiteral("  its size"), QStringLiteral("KiB"), 1, QStringLiteral("< 200 KiB"));
    Row open(QStringLiteral("  open it in the window, daily log shown"), QStringLiteral("ms"), 1, QStringLiteral("< 50 ms"));
    QTemporaryDir dir;
    for (int run = 1; run <= repeat; ++run) {
        progress("read-out files", run, repeat);
        QuiloSim::CSimulatedUnit unit(QuiloSim::generateState(1));
        if (!startUnit(unit))
            return;
        CComPort::SetPortMapping(QStringLiteral("Com2"), unit.slavePath());
        const QString path = dir.filePath(QStringLiteral("visit%1.quilo").arg(run));
        {
            CTarvelApp app;
            app.InitInstance();
            CTarvelDoc &doc = *app.m_pDoc;
            CMainFrame &frame = *app.mainFrame();
            doc.StartReadAll();
            spinUntil([&] { return !doc.IsBusy(); }, 120000);
            const std::int64_t t0 = wallNs();
            Quilo::ReadOutInfo info;
            info.port = doc.PortName();
            info.savedAt = QDateTime::currentDateTimeUtc();
            const QByteArray bytes = Quilo::SaveReadOut(doc.ReadOut(), info);
            if (const Quilo::Done written = Quilo::WriteFileAtomically(path, bytes); !written)
                qWarning("%s", qPrintable(written.error()));
            save.runs.push_back(milliseconds(wallNs() - t0));
            size.runs.push_back(static_cast<double>(bytes.size()) / 1024.0);

            frame.leftView()->setCurrentItem(frame.leftView()->findItem({QStringLiteral("Counters"), QStringLiteral("daily")}));
            spinUntil([&] { return !doc.IsBusy(); }, 60000);
            const std::int64_t t1 = wallNs();
            frame.files()->OpenPath(path);
            spinUntil([&] { return doc.IsOffline() && !frame.files()->InBackground(); }, 60000);
            QCoreApplication::processEvents(); // the daily log's view is made again for the file
            open.runs.push_back(milliseconds(wallNs() - t1));
        }
        CComPort::SetPortMapping(QStringLiteral("Com2"), QString());
        unit.stop();
    }
    table.judge(save, [](double v) { return v < 50; });
    table.judge(size, [](double v) { return v < 200; });
    table.judge(open, [](double v) { return v < 50; });
}

// 9: the visit history at fleet size, on an SQLite file and on a PostgreSQL server.
void historyFigures(CTable &table, int units, int visitsPerUnit)
{
    for (const QString &kind : {QStringLiteral("sqlite"), QStringLiteral("postgresql")}) {
        std::fprintf(stderr, "bench: history on %s, %d units x %d visits\n", qPrintable(kind), units, visitsPerUnit);
        const CHistoryFigures f = MeasureHistory(kind, units, visitsPerUnit);
        const QString head = QStringLiteral("9 history, %1: ").arg(kind);
        Row generate(head + QStringLiteral("%1 visits written in bulk").arg(f.visits), QStringLiteral("s"), 1);
        Row bytes(QStringLiteral("  store's bytes per visit"), QStringLiteral("B"), 0);
        Row record(QStringLiteral("  record a visit (open, record, close)"), QStringLiteral("ms"), 2, QStringLiteral("< 100 ms"));
        Row list(QStringLiteral("  list a unit's visits"), QStringLiteral("ms"), 2, QStringLiteral("< 20 ms"));
        Row compare(QStringLiteral("  compare two visits (load both, compare)"), QStringLiteral("ms"), 2, QStringLiteral("< 20 ms"));
        if (!f.problem.isEmpty()) {
            generate.note = f.problem;
            table.judge(generate, [](double) { return false; });
            continue;
        }
        const auto most = [](const std::vector<double> &v) {
            return QStringLiteral("%1 runs, max %2").arg(v.size()).arg(QString::fromLatin1(fixed(*std::max_element(v.begin(), v.end()), 1)));
        };
        generate.runs.push_back(f.generateSeconds);
        bytes.runs.push_back(f.bytesPerVisit);
        record.runs = f.recordMs;
        list.runs = f.listMs;
        compare.runs = f.compareMs;
        record.note = most(f.recordMs);
        list.note = most(f.listMs);
        compare.note = most(f.compareMs);
        table.add(generate);
        table.add(bytes);
        table.judge(record, [](double v) { return v < 100; });
        table.judge(list, [](double v) { return v < 20; });
        table.judge(compare, [](double v) { return v < 20; });
    }
}

// 12: the office site over a generated history at fleet size, on SQLite and on PostgreSQL.
void siteFigures(CTable &table, int units, int visitsPerUnit)
{
    for (const QString &kind : {QStringLiteral("sqlite"), QStringLiteral("postgresql")}) {
        std::fprintf(stderr, "bench: site on %s, %d units x %d visits\n", qPrintable(kind), units, visitsPerUnit);
        const CSiteFigures f = MeasureSite(kind, units, visitsPerUnit, 50, 20);
        const QString head = QStringLiteral("12 office site, %1, %2 units x %3 visits: ").arg(kind).arg(units).arg(visitsPerUnit);
        Row compared(head + QStringLiteral("every unit compared at start (both languages)"), QStringLiteral("s"), 1);
        Row fleet(QStringLiteral("  fleet, first page"), QStringLiteral("ms"), 1, QStringLiteral("< 200 ms"));
        Row unit(QStringLiteral("  a unit's page"), QStringLiteral("ms"), 1, QStringLiteral("< 100 ms"));
        Row together(QStringLiteral("  %1 browsers x %2 pages at once: p99").arg(f.clients).arg(f.pagesEach), QStringLiteral("ms"), 1);
        if (!f.problem.isEmpty()) {
            compared.note = f.problem;
            table.judge(compared, [](double) { return false; });
            continue;
        }
        compared.runs.push_back(f.compareAllSeconds);
        fleet.runs = f.fleetMs;
        unit.runs = f.unitMs;
        together.runs.push_back(quantile(f.concurrentMs, 0.99));
        together.goal = QStringLiteral("no error");
        together.note = QStringLiteral("%1 errors, median %2 ms, p99 %3 ms, %4 s in all")
                            .arg(f.errors)
                            .arg(median(f.concurrentMs), 0, 'f', 1)
                            .arg(quantile(f.concurrentMs, 0.99), 0, 'f', 1)
                            .arg(f.concurrentSeconds, 0, 'f', 1);
        table.add(compared);
        table.judge(fleet, [](double v) { return v < 200; });
        table.judge(unit, [](double v) { return v < 100; });
        const int errors = f.errors;
        table.judge(together, [errors](double) { return errors == 0; });
    }
}

// 13: many units read side by side by `quilo collect`: the wall time against one unit's alone
// (goal: at most 5 % more), the collector's CPU per unit and its peak memory; from those, 100
// units on paper.
void collectFigures(CTable &table, const QString &simProgram, const QString &cliProgram, int units, int repeat)
{
    const CCollectFigures f = MeasureCollect(simProgram, cliProgram, units, repeat);
    Row one(QStringLiteral("13 quilo collect, 1 unit at 9600 baud"), QStringLiteral("s"), 1);
    Row all(QStringLiteral("13 quilo collect, %1 units side by side").arg(units), QStringLiteral("s"), 1);
    Row ratio(QStringLiteral("13 %1 units / 1 unit, wall time").arg(units), QStringLiteral("x"), 3,
              QStringLiteral("<= 1.05"));
    Row cpu(QStringLiteral("13 collector CPU per unit"), QStringLiteral("s"), 3, QStringLiteral("< 1 s"));
    Row peak(QStringLiteral("13 collector peak memory, %1 units").arg(units), QStringLiteral("MiB"), 1,
             QStringLiteral("< 64 MiB"));
    Row paper(QStringLiteral("13 100 units on paper"));
    if (!f.problem.isEmpty()) {
        ratio.note = f.problem;
        table.judge(ratio, [](double) { return false; });
        return;
    }
    one.runs = f.oneSeconds;
    all.runs = f.allSeconds;
    for (std::size_t i = 0; i < f.allSeconds.size() && i < f.oneSeconds.size(); ++i)
        ratio.runs.push_back(f.allSeconds[i] / f.oneSeconds[i]);
    cpu.runs = f.cpuPerUnitSeconds;
    peak.runs = f.allPeakMiB;
    // Each further unit costs its share of CPU and memory; the wire time stays one unit's as
    // long as the cores keep up with the CPU of all of them within it.
    const double cpuPerUnit = median(f.cpuPerUnitSeconds);
    const double onePeak = median(f.onePeakMiB);
    const double perUnitMiB = units > 1 ? (median(f.allPeakMiB) - onePeak) / (units - 1) : 0;
    const double oneWall = median(f.oneSeconds);
    const int cores = std::max(1, QThread::idealThreadCount());
    const double cpu100 = 100 * cpuPerUnit;
    paper.note = QStringLiteral("wall %1 s (one unit's, or CPU %2 s over %3 cores if more), peak %4 MiB (%5 + 99 x %6)")
                     .arg(std::max(oneWall, cpu100 / cores), 0, 'f', 1)
                     .arg(cpu100, 0, 'f', 1)
                     .arg(cores)
                     .arg(onePeak + 99 * perUnitMiB, 0, 'f', 0)
                     .arg(onePeak, 0, 'f', 1)
                     .arg(perUnitMiB, 0, 'f', 2);
    table.add(one);
    table.add(all);
    table.judge(ratio, [](double v) { return v <= 1.05; });
    table.judge(cpu, [](double v) { return v < 1.0; });
    table.judge(peak, [](double v) { return v < 64; });
    table.add(paper);
}

int main(int argc, char *argv[])
{
    // the window of figure 8 is never shown
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Quilo::setUpApplicationIdentity();
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Read-out benchmarks against the simulated unit."));
    parser.addHelpOption();
    const QCommandLineOption repeatOption(QStringLiteral("repeat"), QStringLiteral("Runs per figure (median shown)."),
                                          QStringLiteral("N"), QStringLiteral("3"));
    const QCommandLineOption onlyOption(QStringLiteral("only"), QStringLiteral("Figures to measure, e.g. 1,3,6."),
                                        QStringLiteral("LIST"), QStringLiteral("1,2,3,4,5,6,7,8,9,10,11,12,13"));
    const QCommandLineOption unitsOption(QStringLiteral("history-units"),
                                         QStringLiteral("Figures 9 and 12: units in the generated history."), QStringLiteral("N"),
                                         QStringLiteral("10000"));
    const QCommandLineOption visitsOption(QStringLiteral("history-visits"),
                                          QStringLiteral("Figures 9 and 12: visits of each unit."), QStringLiteral("N"),
                                          QStringLiteral("50"));
    const QCommandLineOption simOption(QStringLiteral("sim"), QStringLiteral("The quilo-sim program."), QStringLiteral("PATH"));
    const QCommandLineOption cliOption(QStringLiteral("cli"), QStringLiteral("The quilo program."), QStringLiteral("PATH"));
    const QCommandLineOption windowOption(QStringLiteral("window"), QStringLiteral("The quilo-readout program."),
                                          QStringLiteral("PATH"));
    parser.addOptions({repeatOption, onlyOption, simOption, cliOption, windowOption, unitsOption, visitsOption});
    parser.process(app);

    bool ok = false;
    const int repeat = parser.value(repeatOption).toInt(&ok);
    if (!ok || repeat < 1 || repeat > 99) {
        std::fprintf(stderr, "quilo-bench: --repeat needs a number from 1 to 99\n");
        return 64;
    }
    const QStringList only = parser.value(onlyOption).split(QLatin1Char(','), Qt::SkipEmptyParts);
    auto wanted = [&](int item) { return only.contains(QString::number(item)); };

    const QString started = loadAverage();
    const std::int64_t t0 = wallNs();
    CTable table;
    double directRatio = 0;
    // figure 8 is judged against figure 1 of the same run
    if (wanted(1) || wanted(5) || wanted(8))
        directRatio = pacedReadOut(table, false, repeat, 1);
    if (wanted(2))
        pacedReadOut(table, true, repeat, 2);
    if (wanted(3))
        instantReadOut(table, repeat);
    if (wanted(4))
        silentUnit(table, repeat);
    if (wanted(6)) {
        const QString sim = parser.value(simOption);
        peakMemory(table, QStringLiteral("6 peak memory, quilo read all"), 16, sim, parser.value(cliOption), repeat, false);
        peakMemory(table, QStringLiteral("6 peak memory, window, every view"), 120, sim,
                   parser.value(windowOption), repeat, true);
    }
    if (wanted(7))
        adapterReadOut(table, repeat);
    if (wanted(8))
        windowDuringReadOut(table, repeat, directRatio);
    if (wanted(9)) {
        const int units = parser.value(unitsOption).toInt();
        const int visits = parser.value(visitsOption).toInt();
        if (units < 1 || visits < 2) {
            std::fprintf(stderr, "quilo-bench: --history-units needs 1 or more, --history-visits 2 or more\n");
            return 64;
        }
        historyFigures(table, units, visits);
    }
    if (wanted(10))
        readOutFiles(table, repeat);
    if (wanted(11))
        networkReadOut(table, repeat, parser.value(simOption), parser.value(cliOption));
    if (wanted(12))
        siteFigures(table, parser.value(unitsOption).toInt(), parser.value(visitsOption).toInt());
    if (wanted(13))
        collectFigures(table, parser.value(simOption), parser.value(cliOption), 16, repeat);

    std::printf("Quilo ReadOut benchmarks (%s build), %s, %d cores, %s %s\n", QUILO_BENCH_BUILD_TYPE,
                qPrintable(cpuModel()), QThread::idealThreadCount(), qPrintable(QSysInfo::kernelType()),
                qPrintable(QSysInfo::kernelVersion()));
    std::printf("load average %s at the start, %s at the end; %.0f s in all; median of %d runs\n\n",
                qPrintable(started), qPrintable(loadAverage()), seconds(wallNs() - t0), repeat);
    table.print();
    return table.failures() == 0 ? 0 : 1;
}
