// The quilo executable as a technician runs it: against the built-in simulated unit, into
// each output form and file, with the exit statuses, Ctrl-C and a confirmed write.

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <QRegularExpression>

#include <csignal>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Result {
    int exit = -1;
    QByteArray out;
    QByteArray err;
};

// quilo with `lang` as LANG and nothing overriding it, or in the test's own environment.
Result quiloRun(const QStringList &args, const QByteArray &input, const QString &folder, const QString &lang)
{
    QProcess p;
    if (!folder.isEmpty())
        p.setWorkingDirectory(folder);
    if (!lang.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("LC_ALL"));
        env.remove(QStringLiteral("LC_MESSAGES"));
        env.remove(QStringLiteral("LANGUAGE"));
        env.insert(QStringLiteral("LANG"), lang);
        p.setProcessEnvironment(env);
    }
    p.start(QStringLiteral(QUILO_EXE), args);
    if (!p.waitForStarted(10000))
        return {};
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(120000))
        p.kill();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

Result quilo(const QStringList &args, const QByteArray &input = {}, const QString &folder = {})
{
    return quiloRun(args, input, folder, {});
}

Result quiloInLocale(const QString &lang, const QStringList &args, const QByteArray &input = {})
{
    return quiloRun(args, input, {}, lang);
}

// quilo with its standard output on `stdoutFile` (a device, a FIFO) and `env` added.
QProcess *startQuilo(QObject *parent, const QStringList &args, const QString &stdoutFile,
                     const QList<std::pair<QString, QString>> &env = {}, const QString &folder = {})
{
    auto *p = new QProcess(parent);
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const auto &[name, value] : env)
        e.insert(name, value);
    p->setProcessEnvironment(e);
    if (!folder.isEmpty())
        p->setWorkingDirectory(folder);
    if (!stdoutFile.isEmpty())
        p->setStandardOutputFile(stdoutFile);
    p->start(QStringLiteral(QUILO_EXE), args);
    return p;
}

QByteArray fileText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
}

} // namespace

class TestQuilo : public QObject
{
    Q_OBJECT
private slots:
    void formats_data();
    void formats();
    void wholeUnitToFiles();
    void exitStatus_data();
    void exitStatus();
    void ctrlCWritesWhatWasRead();
    void setClockAsksFirst();
    void malformedPortMapping();
    void outputTargets();
    void outputErrors_data();
    void outputErrors();
    void standardOutputThatCannotBeWritten_data();
    void standardOutputThatCannotBeWritten();
    void readerLeavesEarly_data();
    void readerLeavesEarly();
    void historyIsNoOutput_data();
    void historyIsNoOutput();
    void localeChoosesTheLanguage();
    void jsonIsTheSameInEveryLanguage_data();
    void jsonIsTheSameInEveryLanguage();
    void answersInTheLanguageSpoken_data();
    void answersInTheLanguageSpoken();
};

void TestQuilo::formats_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("table") << QStringLiteral("table");
    QTest::newRow("csv") << QStringLiteral("csv");
    QTest::newRow("json") << QStringLiteral("json");
}

void TestQuilo::formats()
{
    QFETCH(QString, format);
    const Result r = quilo({QStringLiteral("read"), QStringLiteral("daily"), QStringLiteral("--simulate"),
                            QStringLiteral("-f"), format});
    QCOMPARE(r.exit, 0);
    QVERIFY(r.err.isEmpty());
    const QList<QByteArray> lines = r.out.trimmed().split('\n');
    if (format == QLatin1String("table")) {
        QCOMPARE(lines.size(), 2 + 31); // title, headings, 31 rows numbered as the window does
        QVERIFY(lines.at(1).startsWith("idx"));
        QVERIFY(lines.at(2).startsWith("1. "));
        QVERIFY(lines.last().startsWith("31. "));
    } else if (format == QLatin1String("csv")) {
        QCOMPARE(lines.size(), 1 + 31);
        QCOMPARE(lines.at(1).count(lines.at(0).at(3)), 8); // idx, 7 columns, result
    } else {
        const QJsonObject root = QJsonDocument::fromJson(r.out).object();
        QVERIFY(root[QStringLiteral("complete")].toBool());
        const QJsonArray recs = root[QStringLiteral("sets")].toArray()[0].toObject()[QStringLiteral("records")].toArray();
        QCOMPARE(recs.size(), 31);
        QCOMPARE(recs[0].toObject()[QStringLiteral("raw")].toString().size(), 2 * 25);
        QCOMPARE(recs[0].toObject()[QStringLiteral("values")].toObject().size(), 7);
    }
}

void TestQuilo::wholeUnitToFiles()
{
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("unit.csv"));
    const QString json = dir.filePath(QStringLiteral("unit.json"));
    Result r = quilo({QStringLiteral("read"), QStringLiteral("all"), QStringLiteral("--simulate"), QStringLiteral("-f"),
                      QStringLiteral("csv"), QStringLiteral("-o"), csv});
    QCOMPARE(r.exit, 0);
    QVERIFY(r.out.isEmpty());
    r = quilo({QStringLiteral("read"), QStringLiteral("all"), QStringLiteral("--simulate"), QStringLiteral("-f"),
               QStringLiteral("json"), QStringLiteral("-o"), json});
    QCOMPARE(r.exit, 0);

    QFile jsonFile(json);
    QVERIFY(jsonFile.open(QIODevice::ReadOnly));
    const QJsonArray sets = QJsonDocument::fromJson(jsonFile.readAll()).object()[QStringLiteral("sets")].toArray();
    QCOMPARE(sets.size(), 16); // every set once, the four key tables and two key logs, events as one list
    int records = 0;
    for (const auto &s : sets)
        records += int(s.toObject()[QStringLiteral("records")].toArray().size());
    QCOMPARE(records, 1 + 1 + 1 + 1 + 20 + 31 + 61 + 21 + 6 + 60 + 40 + 192);

    QFile csvFile(csv);
    QVERIFY(csvFile.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(csvFile.readAll());
    for (const char *title : {"Daily log", "Key table - organizer", "Key usage logs - SZF", "Configuration events"})
        QVERIFY2(text.contains(QLatin1String(title)), title);
}

void TestQuilo::exitStatus_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exit");
    QTest::newRow("help") << QStringList{QStringLiteral("--help")} << 0;
    QTest::newRow("ports") << QStringList{QStringLiteral("ports")} << 0;
    QTest::newRow("no such port") << QStringList{QStringLiteral("read"), QStringLiteral("counters"), QStringLiteral("-p"),
                                                 QStringLiteral("/dev/quilo-no-such-port")} << 2;
    QTest::newRow("unknown set") << QStringList{QStringLiteral("read"), QStringLiteral("weekly")} << 64;
    QTest::newRow("year 1999") << QStringList{QStringLiteral("set-clock"), QStringLiteral("1999-12-31 23:59"),
                                              QStringLiteral("--simulate")} << 64;
}

void TestQuilo::exitStatus()
{
    QFETCH(QStringList, args);
    QFETCH(int, exit);
    const Result r = quilo(args);
    QCOMPARE(r.exit, exit);
    if (exit != 0)
        QCOMPARE(r.err.count('\n'), 1); // one line that says what to do
}

void TestQuilo::ctrlCWritesWhatWasRead()
{
    QTemporaryDir dir;
    const QString json = dir.filePath(QStringLiteral("part.json"));
    const QString trace = dir.filePath(QStringLiteral("trace.txt"));
    QProcess p;
    p.start(QStringLiteral(QUILO_EXE),
            {QStringLiteral("read"), QStringLiteral("all"), QStringLiteral("--simulate"), QStringLiteral("--sim-pace"),
             QStringLiteral("5"), QStringLiteral("-f"), QStringLiteral("json"), QStringLiteral("-o"), json,
             QStringLiteral("--trace-file"), trace});
    QVERIFY(p.waitForStarted(10000));
    // Interrupt once frames flow and some records are in, well before the end.
    QTRY_VERIFY_WITH_TIMEOUT(QFile(trace).size() > 2000, 30000);
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 1);
    QVERIFY(p.readAllStandardError().contains("Ctrl-C"));

    QFile file(json);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    QVERIFY(root[QStringLiteral("stopped")].toBool());
    QVERIFY(!root[QStringLiteral("complete")].toBool());
    int read = 0;
    for (const auto &s : root[QStringLiteral("sets")].toArray())
        for (const auto &rec : s.toObject()[QStringLiteral("records")].toArray())
            read += rec.toObject()[QStringLiteral("ok")].toBool() ? 1 : 0;
    QVERIFY(read > 0);
    QVERIFY(read < 435);
    // The sets not reached are there too, as not read.
    const QJsonArray sets = root[QStringLiteral("sets")].toArray();
    QCOMPARE(sets.size(), 16);
    const QJsonArray lastRecords = sets.last().toObject()[QStringLiteral("records")].toArray();
    QCOMPARE(lastRecords.size(), 64);
    QCOMPARE(lastRecords.last().toObject()[QStringLiteral("result")].toString(), QStringLiteral("not read"));
}

void TestQuilo::setClockAsksFirst()
{
    Result r = quilo({QStringLiteral("set-clock"), QStringLiteral("now"), QStringLiteral("--simulate")}, "n\n");
    QCOMPARE(r.exit, 1);
    QVERIFY(r.err.contains("nothing written"));
    r = quilo({QStringLiteral("set-clock"), QStringLiteral("2025-03-04 05:06"), QStringLiteral("--simulate")}, "yes\n");
    QCOMPARE(r.exit, 0);
    QVERIFY(r.err.contains("2025:03:04"));
    QVERIFY(r.err.contains("The unit holds"));
}

// QUILO_PORTS with a faulty entry: nothing goes to the default device, the user learns why.
void TestQuilo::malformedPortMapping()
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUILO_PORTS"), QStringLiteral("Com2="));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(QUILO_EXE), {QStringLiteral("read"), QStringLiteral("counters")});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 2);
    const QByteArray err = p.readAllStandardError();
    QCOMPARE(err.count('\n'), 1);
    QVERIFY2(err.contains("QUILO_PORTS") && err.contains("Com2="), err.constData());
    p.start(QStringLiteral(QUILO_EXE), {QStringLiteral("ports")});
    QVERIFY(p.waitForFinished(30000));
    QVERIFY(p.readAllStandardOutput().contains("QUILO_PORTS"));
}

// "-" is standard output; devices and FIFOs are written in place and stay what they are.
void TestQuilo::outputTargets()
{
    QTemporaryDir dir;
    const QStringList read{QStringLiteral("read"), QStringLiteral("yearly"), QStringLiteral("--simulate"),
                           QStringLiteral("-f"), QStringLiteral("csv")};
    Result r = quilo(read + QStringList{QStringLiteral("-o"), QStringLiteral("-")}, {}, dir.path());
    QCOMPARE(r.exit, 0);
    QCOMPARE(r.out.count('\n'), 7);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("-"))));

    r = quilo(read + QStringList{QStringLiteral("-o"), QStringLiteral("/dev/null")});
    QCOMPARE(r.exit, 0);
    QVERIFY(QFileInfo(QStringLiteral("/dev/null")).exists() && !QFileInfo(QStringLiteral("/dev/null")).isFile());

    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QProcess p;
    p.start(QStringLiteral(QUILO_EXE), read + QStringList{QStringLiteral("-o"), fifo});
    QVERIFY(p.waitForStarted(10000));
    QFile reader(fifo);
    QVERIFY(reader.open(QIODevice::ReadOnly));
    const QByteArray got = reader.readAll();
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(got.count('\n'), 7);
    QVERIFY(!QFileInfo(fifo).isFile());
}

void TestQuilo::outputErrors_data()
{
    QTest::addColumn<QStringList>("args"); // FILE: an existing file with an earlier read-out
    QTest::addColumn<int>("exit");
    QTest::addColumn<QString>("says");
    QTest::addColumn<bool>("fileKept");
    const QStringList read{QStringLiteral("read"), QStringLiteral("yearly"), QStringLiteral("--simulate")};
    QTest::newRow("full disk") << read + QStringList{QStringLiteral("-o"), QStringLiteral("/dev/full")} << 74
                               << QStringLiteral("No space left on device") << true;
    QTest::newRow("trace on a full disk")
        << read + QStringList{QStringLiteral("-o"), QStringLiteral("FILE"), QStringLiteral("--trace-file"), QStringLiteral("/dev/full")}
        << 74 << QStringLiteral("No space left on device") << false;
    QTest::newRow("trace into the output")
        << read + QStringList{QStringLiteral("-o"), QStringLiteral("FILE"), QStringLiteral("--trace-file"), QStringLiteral("./FILE")}
        << 64 << QStringLiteral("same file") << true;
    QTest::newRow("a folder") << read + QStringList{QStringLiteral("-o"), QStringLiteral(".")} << 64
                              << QStringLiteral("Is a directory") << true;
}

void TestQuilo::outputErrors()
{
    QFETCH(QStringList, args);
    QFETCH(int, exit);
    QFETCH(QString, says);
    QFETCH(bool, fileKept);
    QTemporaryDir dir;
    QFile earlier(dir.filePath(QStringLiteral("FILE")));
    QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier read-out\n") > 0);
    earlier.close();
    const Result r = quilo(args, {}, dir.path());
    QCOMPARE(r.exit, exit);
    QVERIFY2(r.err.contains(says.toUtf8()), r.err.constData());
    QCOMPARE(r.err.count('\n'), 1);
    QVERIFY(earlier.open(QIODevice::ReadOnly));
    QCOMPARE(earlier.readAll() == "earlier read-out\n", fileKept);
}

void TestQuilo::standardOutputThatCannotBeWritten_data()
{
    QTest::addColumn<QStringList>("args");
    const QString simulate = QStringLiteral("--simulate");
    QTest::newRow("read all") << QStringList{QStringLiteral("read"), QStringLiteral("all"), simulate, QStringLiteral("--no-history")};
    QTest::newRow("-o -") << QStringList{QStringLiteral("read"), QStringLiteral("yearly"), simulate, QStringLiteral("-o"), QStringLiteral("-")};
    QTest::newRow("help") << QStringList{QStringLiteral("--help")};
}

// A full disk takes nothing: the run says so and ends with 74, whatever it printed.
void TestQuilo::standardOutputThatCannotBeWritten()
{
    QFETCH(QStringList, args);
    std::unique_ptr<QProcess> p(startQuilo(nullptr, args, QStringLiteral("/dev/full")));
    QVERIFY(p->waitForFinished(120000));
    const QByteArray err = p->readAllStandardError();
    QCOMPARE(p->exitStatus(), QProcess::NormalExit);
    QVERIFY2(p->exitCode() == 74, err.constData());
    QVERIFY2(err.contains("standard output") && err.contains("No space left on device"), err.constData());
    QVERIFY2(err.contains("after 0 of "), err.constData());
}

void TestQuilo::readerLeavesEarly_data()
{
    QTest::addColumn<bool>("viaOption"); // -o FIFO, or standard output redirected to it
    QTest::newRow("standard output") << false;
    QTest::newRow("-o") << true;
}

// A FIFO whose reader takes one pipe's worth and leaves: the run ends with 74 and says the
// output is cut short, never that nothing went there.
void TestQuilo::readerLeavesEarly()
{
    QFETCH(bool, viaOption);
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    const QByteArray name = QFile::encodeName(fifo);
    QCOMPARE(::mkfifo(name.constData(), 0600), 0);
    const int reader = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); // quilo must not inherit it: it would be a reader too
    QVERIFY(reader >= 0);
    QVERIFY(::fcntl(reader, F_SETPIPE_SZ, 4096) >= 4096); // far less than the output
    QStringList args{QStringLiteral("read"), QStringLiteral("daily"), QStringLiteral("--simulate"), QStringLiteral("-f"),
                     QStringLiteral("json")};
    if (viaOption)
        args << QStringLiteral("-o") << fifo;
    std::unique_ptr<QProcess> p(startQuilo(nullptr, args, viaOption ? QString() : fifo));
    // until the pipe is full and quilo waits, in the middle of its output, for room
    int queued = 0;
    QTRY_VERIFY_WITH_TIMEOUT((::ioctl(reader, FIONREAD, &queued), queued >= 4096), 30000);
    ::close(reader);
    QVERIFY(p->waitForFinished(30000));
    const QString err = QString::fromUtf8(p->readAllStandardError());
    QCOMPARE(p->exitStatus(), QProcess::NormalExit); // no death by SIGPIPE
    QVERIFY2(p->exitCode() == 74, qPrintable(err));
    QCOMPARE(err.count(QLatin1Char('\n')), 1);
    QVERIFY2(err.contains(QStringLiteral("Broken pipe")) && err.contains(QStringLiteral("incomplete")), qPrintable(err));
    QVERIFY2(!err.contains(QStringLiteral("nothing was written")), qPrintable(err));
    if (!viaOption) {
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("after (\\d+) of (\\d+) bytes")).match(err);
        QVERIFY2(m.hasMatch(), qPrintable(err));
        QVERIFY(m.captured(1).toInt() >= 4096 && m.captured(1).toInt() < m.captured(2).toInt());
    }
}

void TestQuilo::historyIsNoOutput_data()
{
    // HISTORY: the history file (QUILO_HISTORY); OUTBOX: the file visits wait in on this PC
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("option");
    const QStringList yearly{QStringLiteral("read"), QStringLiteral("yearly"), QStringLiteral("--simulate")};
    QTest::newRow("-o") << yearly + QStringList{QStringLiteral("-o"), QStringLiteral("HISTORY")} << QStringLiteral("-o");
    QTest::newRow("-o, by another path") << yearly + QStringList{QStringLiteral("-o"), QStringLiteral("data/../visits.sqlite")}
                                         << QStringLiteral("-o");
    QTest::newRow("-o, the outbox") << yearly + QStringList{QStringLiteral("-o"), QStringLiteral("OUTBOX")} << QStringLiteral("-o");
    QTest::newRow("--trace-file of set-clock")
        << QStringList{QStringLiteral("set-clock"), QStringLiteral("now"), QStringLiteral("--simulate"), QStringLiteral("--yes"),
                       QStringLiteral("--trace-file"), QStringLiteral("OUTBOX")}
        << QStringLiteral("--trace-file");
    QTest::newRow("show") << QStringList{QStringLiteral("show"), QStringLiteral("missing.quilo"), QStringLiteral("-o"), QStringLiteral("HISTORY")}
                          << QStringLiteral("-o");
}

// The history's own file is refused as an output or a trace, as the trace into the output is:
// status 64, and the visits stay.
void TestQuilo::historyIsNoOutput()
{
    QFETCH(QStringList, args);
    QFETCH(QString, option);
    QTemporaryDir dir;
    const QString history = dir.filePath(QStringLiteral("visits.sqlite"));
    const QString outbox = dir.filePath(QStringLiteral("data/Local AppWizard-Generated Applications/tarvel/history.sqlite"));
    QVERIFY(QDir().mkpath(QFileInfo(outbox).path()));
    for (const QString &file : {history, outbox}) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("visits\n") == 7);
    }
    args.replaceInStrings(QStringLiteral("HISTORY"), history);
    args.replaceInStrings(QStringLiteral("OUTBOX"), outbox);
    std::unique_ptr<QProcess> p(startQuilo(nullptr, args, QString(),
                                           {{QStringLiteral("QUILO_HISTORY"), history},
                                            {QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data"))}},
                                           dir.path()));
    QVERIFY(p->waitForFinished(60000));
    const QString err = QString::fromUtf8(p->readAllStandardError());
    QVERIFY2(p->exitCode() == 64, qPrintable(err));
    QCOMPARE(err.count(QLatin1Char('\n')), 1);
    QVERIFY2(err.startsWith(QStringLiteral("quilo: ") + option + QLatin1Char(' ')) && err.contains(QStringLiteral("visit history")),
             qPrintable(err));
    QCOMPARE(fileText(history), QByteArray("visits\n"));
    QCOMPARE(fileText(outbox), QByteArray("visits\n"));
}

// The locale's language unless --lang names one: headings, the CSV separator, the help, the
// messages.
void TestQuilo::localeChoosesTheLanguage()
{
    const QStringList csv{QStringLiteral("read"), QStringLiteral("daily"), QStringLiteral("--simulate"),
                          QStringLiteral("-f"), QStringLiteral("csv")};
    Result r = quiloInLocale(QStringLiteral("hu_HU.UTF-8"), csv);
    QCOMPARE(r.exit, 0);
    QVERIFY2(r.out.startsWith("ssz.;D\xc3\xa1tum;"), r.out.left(80).constData());
    r = quiloInLocale(QStringLiteral("hu_HU.UTF-8"), QStringList(csv) << QStringLiteral("--lang") << QStringLiteral("en"));
    QVERIFY2(r.out.startsWith("idx,Date,"), r.out.left(80).constData());
    r = quiloInLocale(QStringLiteral("en_US.UTF-8"), QStringList(csv) << QStringLiteral("--lang=hu"));
    QVERIFY2(r.out.startsWith("ssz.;"), r.out.left(80).constData());

    const Result english = quiloInLocale(QStringLiteral("C.UTF-8"), {QStringLiteral("--help")});
    const Result hungarian = quiloInLocale(QStringLiteral("hu_HU.UTF-8"), {QStringLiteral("--help")});
    QVERIFY(english.out.startsWith("Usage: quilo"));
    QVERIFY2(hungarian.out.startsWith("Haszn\xc3\xa1lat: quilo"), hungarian.out.left(80).constData());
    // a message of the parser itself (Qt's words) and one of the program
    for (const QStringList &args : {QStringList{QStringLiteral("--no-such-option")},
                                    QStringList{QStringLiteral("read"), QStringLiteral("no-such-set")}}) {
        const Result en = quiloInLocale(QStringLiteral("C.UTF-8"), args);
        const Result hu = quiloInLocale(QStringLiteral("hu_HU.UTF-8"), args);
        QCOMPARE(hu.exit, en.exit);
        QVERIFY(hu.err.startsWith("quilo: ") && hu.err.contains(args.last().mid(args.last().startsWith(u'-') ? 2 : 0).toUtf8()));
        QVERIFY2(hu.err != en.err, hu.err.constData());
    }
}

void TestQuilo::jsonIsTheSameInEveryLanguage_data()
{
    QTest::addColumn<QStringList>("set");
    QTest::newRow("daily") << QStringList{QStringLiteral("daily")};
    QTest::newRow("key table organizer") << QStringList{QStringLiteral("key-table"), QStringLiteral("organizer")};
    QTest::newRow("all") << QStringList{QStringLiteral("all")};
}

// What scripts read is the program's own English, byte for byte, whatever the language.
void TestQuilo::jsonIsTheSameInEveryLanguage()
{
    QFETCH(QStringList, set);
    const QStringList args = QStringList{QStringLiteral("read")} + set
                             + QStringList{QStringLiteral("--simulate"), QStringLiteral("-f"), QStringLiteral("json")};
    const Result english = quiloInLocale(QStringLiteral("C.UTF-8"), args);
    const Result hungarian = quiloInLocale(QStringLiteral("hu_HU.UTF-8"), args);
    const Result asked = quilo(QStringList{QStringLiteral("--lang"), QStringLiteral("hu")} + args);
    QCOMPARE(english.exit, 0);
    QVERIFY(english.out.contains("\"Cash in\"") || english.out.contains("\"Key\""));
    QVERIFY(english.out == hungarian.out);
    QVERIFY(english.out == asked.out);
}

void TestQuilo::answersInTheLanguageSpoken_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("written");
    QTest::newRow("hu i") << QStringLiteral("hu") << QByteArray("i\n") << true;
    QTest::newRow("hu Igen") << QStringLiteral("hu") << QByteArray("Igen\n") << true;
    QTest::newRow("hu y, as scripts answer") << QStringLiteral("hu") << QByteArray("y\n") << true;
    QTest::newRow("hu n") << QStringLiteral("hu") << QByteArray("n\n") << false;
    QTest::newRow("hu nothing") << QStringLiteral("hu") << QByteArray("\n") << false;
    QTest::newRow("en i") << QStringLiteral("en") << QByteArray("i\n") << false;
    QTest::newRow("en y") << QStringLiteral("en") << QByteArray("y\n") << true;
}

// The question offers the language's own yes, and takes it.
void TestQuilo::answersInTheLanguageSpoken()
{
    QFETCH(QString, language);
    QFETCH(QByteArray, answer);
    QFETCH(bool, written);
    const Result r = quilo({QStringLiteral("--lang"), language, QStringLiteral("set-clock"), QStringLiteral("2025-03-04 05:06"),
                            QStringLiteral("--simulate")},
                           answer);
    QCOMPARE(r.exit, written ? 0 : 1);
    QVERIFY2(r.err.contains(language == QLatin1String("hu") ? "[i/N]" : "[y/N]"), r.err.constData());
    QCOMPARE(r.err.contains("2025:03:04  /  05:06."), written);
}

QTEST_GUILESS_MAIN(TestQuilo)
#include "tst_quilo.moc"
