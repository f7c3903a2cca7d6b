// The command line's checks, the output forms and the progress count, without a line.

#include "cliargs.h"
#include "completion.h"
#include "datasettable.h"
#include "exporttable.h"
#include "formatters.h"
#include "progress.h"
#include "stringtable.h"
#include "tarveldoc.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <ctime>

using namespace QuiloCli;

class TestCliParse : public QObject
{
    Q_OBJECT
private slots:
    void rejects_data();
    void rejects();
    void languagesAndStandardOutputPass();
    void historyTakesTheCommonOptions();
    void resolves_data();
    void resolves();
    void keyText_data();
    void keyText();
    void clockBytes();
    void clockHoldsAcrossDaylightSaving_data();
    void clockHoldsAcrossDaylightSaving();
    void csvQuotesAndSeparator();
    void jsonCarriesStatusAndRaw();
    void progressCountsAcrossSets();
    void completionFollowsTheTables();
    void completionKnowsOptionValues();
};

void TestCliParse::rejects_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("mentions");
    const auto row = [](const char *name, const QStringList &args, const char *mentions) {
        QTest::newRow(name) << args << QString::fromUtf8(mentions);
    };
    row("no command", {}, "no command");
    row("unknown command", {QStringLiteral("dump")}, "unknown command");
    row("unknown option", {QStringLiteral("read"), QStringLiteral("daily"), QStringLiteral("--fast")}, "fast");
    row("no set", {QStringLiteral("read")}, "needs a data set");
    row("unknown set", {QStringLiteral("read"), QStringLiteral("hourly")}, "hourly");
    row("group missing", {QStringLiteral("read"), QStringLiteral("key-table")}, "organizer");
    row("unknown group", {QStringLiteral("read"), QStringLiteral("key-logs"), QStringLiteral("LAB")}, "LAB");
    row("event 0", {QStringLiteral("read"), QStringLiteral("conf-event"), QStringLiteral("0")}, "1 to 20");
    row("event 21", {QStringLiteral("read"), QStringLiteral("conf-event"), QStringLiteral("21")}, "1 to 20");
    row("event word", {QStringLiteral("read"), QStringLiteral("conf-event"), QStringLiteral("x")}, "1 to 20");
    row("extra word", {QStringLiteral("read"), QStringLiteral("daily"), QStringLiteral("7")}, "unexpected");
    row("format", {QStringLiteral("read"), QStringLiteral("daily"), QStringLiteral("-f"), QStringLiteral("xml")}, "xml");
    row("separator", {QStringLiteral("read"), QStringLiteral("daily"), QStringLiteral("-s"), QStringLiteral(";;")}, ";;");
    row("port name", {QStringLiteral("read"), QStringLiteral("daily"), QStringLiteral("-p"), QStringLiteral("COM9")}, "COM9");
    row("user key short", {QStringLiteral("read"), QStringLiteral("daily"), QStringLiteral("-k"), QStringLiteral("0011223344")}, "not a key");
    row("year 1999", {QStringLiteral("set-clock"), QStringLiteral("1999-12-31"), QStringLiteral("23:59")}, "1999");
    row("year 2100", {QStringLiteral("set-clock"), QStringLiteral("2100-01-01 00:00")}, "2100");
    row("month 13", {QStringLiteral("set-clock"), QStringLiteral("2024-13-01 10:00")}, "not a date");
    row("30 February", {QStringLiteral("set-clock"), QStringLiteral("2024-02-30 10:00")}, "not a date");
    row("hour 24", {QStringLiteral("set-clock"), QStringLiteral("2024-02-03 24:00")}, "not a date");
    row("no time", {QStringLiteral("set-clock")}, "needs a date");
    row("now and date", {QStringLiteral("set-clock"), QStringLiteral("2024-02-03 10:00"), QStringLiteral("--now")}, "not both");
    row("key args", {QStringLiteral("write-key"), QStringLiteral("LAB"), QStringLiteral("3")}, "needs a group");
    row("key group", {QStringLiteral("write-key"), QStringLiteral("ABC"), QStringLiteral("3"), QStringLiteral("0011223344556677")}, "ABC");
    row("row 0", {QStringLiteral("write-key"), QStringLiteral("LAB"), QStringLiteral("0"), QStringLiteral("0011223344556677")}, "rows 1 to 32");
    row("row 33 of LAB", {QStringLiteral("write-key"), QStringLiteral("LAB"), QStringLiteral("33"), QStringLiteral("0011223344556677")}, "rows 1 to 32");
    row("key 17 digits", {QStringLiteral("write-key"), QStringLiteral("OMH"), QStringLiteral("1"), QStringLiteral("00112233445566778")}, "not a key");
    row("clock into a file", {QStringLiteral("set-clock"), QStringLiteral("now"), QStringLiteral("-o"), QStringLiteral("x.csv")}, "-o");
    row("key write as json", {QStringLiteral("write-key"), QStringLiteral("OMH"), QStringLiteral("1"), QStringLiteral("0011223344556677"),
                               QStringLiteral("-f"), QStringLiteral("json")}, "-f");
    row("history from a port", {QStringLiteral("history"), QStringLiteral("-p"), QStringLiteral("Com1")}, "-p");
    row("compare into a read-out file", {QStringLiteral("compare"), QStringLiteral("-f"), QStringLiteral("quilo")}, "quilo");
    row("key not hex", {QStringLiteral("write-key"), QStringLiteral("OMH"), QStringLiteral("1"), QStringLiteral("0G112233445566778")}, "not a key");
    row("output named empty", {QStringLiteral("read"), QStringLiteral("daily"), QStringLiteral("-o"), QString()}, "needs a file name");
    row("output named empty, long form", {QStringLiteral("show"), QStringLiteral("x.quilo"), QStringLiteral("--output=")}, "needs a file name");
    row("unknown language", {QStringLiteral("--lang"), QStringLiteral("xx"), QStringLiteral("read"), QStringLiteral("daily")}, "\"xx\"");
    row("unknown language before --help", {QStringLiteral("--lang=de"), QStringLiteral("--help")}, "en, hu");
    row("empty language", {QStringLiteral("--lang="), QStringLiteral("ports")}, "--lang");
    row("one of two languages unknown", {QStringLiteral("--lang"), QStringLiteral("hu"), QStringLiteral("--lang"), QStringLiteral("klingon"),
                                          QStringLiteral("ports")}, "klingon");
}

void TestCliParse::rejects()
{
    QFETCH(QStringList, args);
    QFETCH(QString, mentions);
    const CParseResult r = ParseCommandLine(args);
    QVERIFY(!r.ok());
    QVERIFY2(r.error.contains(mentions), qPrintable(r.error));
    QVERIFY(!r.error.contains(QLatin1Char('\n')));
}

void TestCliParse::resolves_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("sets");
    QTest::addColumn<int>("dataSet");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<int>("event");
    QTest::newRow("key-table lab") << QStringList{QStringLiteral("read"), QStringLiteral("key-table"), QStringLiteral("lab")}
                                   << 1 << int(CTarvelDoc::dsKeyTable) << 32 << 63 << -1;
    QTest::newRow("key-table OMH") << QStringList{QStringLiteral("read"), QStringLiteral("key-table"), QStringLiteral("OMH")}
                                   << 1 << int(CTarvelDoc::dsKeyTable) << 128 << 191 << -1;
    QTest::newRow("key-logs SZF") << QStringList{QStringLiteral("read"), QStringLiteral("key-logs"), QStringLiteral("SZF")}
                                  << 1 << int(CTarvelDoc::dsKeyLogs) << 20 << 39 << -1;
    QTest::newRow("conf-event 20") << QStringList{QStringLiteral("read"), QStringLiteral("conf-event"), QStringLiteral("20")}
                                   << 1 << int(CTarvelDoc::dsConfEvents) << 0 << 0 << 19;
    QTest::newRow("every event") << QStringList{QStringLiteral("read"), QStringLiteral("conf-events")}
                                 << 20 << int(CTarvelDoc::dsConfEvents) << 0 << 0 << 0;
    QTest::newRow("date-log, all 60") << QStringList{QStringLiteral("read"), QStringLiteral("date-log")}
                                      << 1 << int(CTarvelDoc::dsDateLog) << 0 << 59 << -1;
    // Every set once, every key group once, every event once.
    QTest::newRow("all") << QStringList{QStringLiteral("read"), QStringLiteral("ALL")}
                         << 4 + 20 + 5 + 2 + 4 << int(CTarvelDoc::dsCounters) << 0 << 0 << -1;
}

// The languages spoken pass however the locale writes them; "-" alone is standard output.
void TestCliParse::languagesAndStandardOutputPass()
{
    for (const char *language : {"en", "hu", "HU", "hu_HU.UTF-8", "en_US"}) {
        const CParseResult r = ParseCommandLine({QStringLiteral("--lang"), QString::fromLatin1(language), QStringLiteral("ports")});
        QVERIFY2(r.ok(), language);
    }
    const CParseResult r = ParseCommandLine({QStringLiteral("read"), QStringLiteral("daily"), QStringLiteral("-o"), QStringLiteral("-")});
    QVERIFY2(r.ok(), qPrintable(r.error));
}

void TestCliParse::historyTakesTheCommonOptions()
{
    // one parser for every command: the language and the separator mean the same everywhere
    const CParseResult r = ParseCommandLine({QStringLiteral("--lang"), QStringLiteral("hu"), QStringLiteral("compare"),
                                             QStringLiteral("-s"), QStringLiteral("\\t"), QStringLiteral("17"),
                                             QStringLiteral("23"), QStringLiteral("--history"), QStringLiteral("x.sqlite")});
    QVERIFY2(r.ok(), qPrintable(r.error));
    QCOMPARE(r.options.command, Command::Compare);
    QCOMPARE(r.options.words, (QStringList{QStringLiteral("17"), QStringLiteral("23")}));
    QCOMPARE(r.options.separator, QLatin1Char('\t'));
    QCOMPARE(r.options.historyUrl, QStringLiteral("x.sqlite"));
}

void TestCliParse::resolves()
{
    QFETCH(QStringList, args);
    QFETCH(int, sets);
    QFETCH(int, dataSet);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(int, event);
    const CParseResult r = ParseCommandLine(args);
    QVERIFY2(r.ok(), qPrintable(r.error));
    QCOMPARE(r.options.sets.size(), sets);
    const CSetSpec &s = r.options.sets.first();
    QCOMPARE(s.dataSet, dataSet);
    QCOMPARE(int(s.first), first);
    QCOMPARE(int(s.last), last);
    QCOMPARE(s.event, event);
}

void TestCliParse::keyText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("normalised");
    const QString canonical = QStringLiteral("01 - 23 45 67 89 AB CD - EF");
    QTest::newRow("key format") << canonical << canonical;
    QTest::newRow("plain digits") << QStringLiteral("0123456789abcdef") << canonical;
    QTest::newRow("spaced pairs") << QStringLiteral("01 23 45 67 89 AB CD EF") << canonical;
}

void TestCliParse::keyText()
{
    QFETCH(QString, text);
    QFETCH(QString, normalised);
    const CParseResult r = ParseCommandLine(
        {QStringLiteral("write-key"), QStringLiteral("SZF"), QStringLiteral("64"), text});
    QVERIFY2(r.ok(), qPrintable(r.error));
    QCOMPARE(r.options.keyText, normalised);
    QCOMPARE(r.options.keyRow, 63);
    // The document must take the text as the key format it is.
    std::uint8_t bytes[8];
    QVERIFY(CKeyField::ScanKey(r.options.keyText, bytes));
    QCOMPARE(bytes[7], std::uint8_t{0xEF});
}

void TestCliParse::clockBytes()
{
    const CParseResult r = ParseCommandLine({QStringLiteral("set-clock"), QStringLiteral("2024-06-15T13:45:59")});
    QVERIFY2(r.ok(), qPrintable(r.error));
    const std::array<std::uint8_t, 5> expected{0x24, 0x06, 0x15, 0x13, 0x45}; // seconds dropped
    QCOMPARE(r.options.clockBytes, expected);
    QCOMPARE(ClockBytes(QDateTime(QDate(2000, 1, 1), QTime(0, 0)))[0], std::uint8_t{0x00});
    QCOMPARE(ClockBytes(QDateTime(QDate(2099, 12, 31), QTime(23, 59)))[0], std::uint8_t{0x99});
}

// A read-back is compared with the write as the unit counts: plain minutes, whatever the PC's
// zone does in between.
void TestCliParse::clockHoldsAcrossDaylightSaving_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("held");
    QTest::addColumn<bool>("holds");
    QTest::newRow("spring, into the skipped hour") << QStringLiteral("2024-03-31 01:59") << QStringLiteral("2024-03-31 02:00") << true;
    QTest::newRow("spring, inside it") << QStringLiteral("2024-03-31 02:30") << QStringLiteral("2024-03-31 02:32") << true;
    QTest::newRow("autumn, out of the doubled hour") << QStringLiteral("2024-10-27 02:59") << QStringLiteral("2024-10-27 03:00") << true;
    QTest::newRow("autumn, an hour on") << QStringLiteral("2024-10-27 02:30") << QStringLiteral("2024-10-27 03:30") << false;
    QTest::newRow("earlier") << QStringLiteral("2024-10-27 02:30") << QStringLiteral("2024-10-27 02:29") << false;
    QTest::newRow("four minutes on") << QStringLiteral("2024-03-31 02:30") << QStringLiteral("2024-03-31 02:34") << false;
}

void TestCliParse::clockHoldsAcrossDaylightSaving()
{
    QFETCH(QString, written);
    QFETCH(QString, held);
    QFETCH(bool, holds);
    const QByteArray oldZone = qgetenv("TZ");
    qputenv("TZ", "Europe/Budapest");
    tzset();
    QDateTime w, h;
    QString error;
    const bool parsed = ParseClockText(written, &w, &error) && ParseClockText(held, &h, &error);
    const bool result = ClockHolds(w, h);
    const std::array<std::uint8_t, 5> bytes = ClockBytes(w);
    qputenv("TZ", oldZone);
    tzset();
    QVERIFY2(parsed, qPrintable(error));
    QCOMPARE(result, holds);
    QCOMPARE(QStringLiteral("%1:%2").arg(bytes[3], 2, 16, QLatin1Char('0')).arg(bytes[4], 2, 16, QLatin1Char('0')),
             written.right(5));
}

static CExportSection sampleSection()
{
    CExportSection s;
    s.want.name = QStringLiteral("config");
    s.title = QStringLiteral("Current Configuration");
    s.headings = {QStringLiteral("Name"), QStringLiteral("Note")};
    s.rightAligned = {false, false};
    CExportRow ok;
    ok.number = 1;
    ok.status = 0x8000;
    ok.ok = true;
    ok.result = QStringLiteral("read");
    ok.cells = {QStringLiteral("Kovács; \"Ő\" Bt."), QStringLiteral("a,b")};
    ok.raw = QByteArray::fromHex("00ff10");
    CExportRow bad = ok;
    bad.number = 2;
    bad.status = 0x8030;
    bad.ok = false;
    bad.result = QStringLiteral("bad checksum");
    bad.raw.clear();
    s.rows = {ok, bad};
    return s;
}

void TestCliParse::csvQuotesAndSeparator()
{
    QCOMPARE(LocaleSeparator(QLocale(QLocale::German, QLocale::Germany)), QLatin1Char(';'));
    QCOMPARE(LocaleSeparator(QLocale(QLocale::Hungarian, QLocale::Hungary)), QLatin1Char(';'));
    QCOMPARE(LocaleSeparator(QLocale(QLocale::English, QLocale::UnitedStates)), QLatin1Char(','));

    const QString semicolon = QString::fromUtf8(FormatCsv({sampleSection()}, QLatin1Char(';')));
    QCOMPARE(semicolon.split(QLatin1Char('\n')).at(1),
             QStringLiteral("1;\"Kovács; \"\"Ő\"\" Bt.\";a,b;read"));
    const QString comma = QString::fromUtf8(FormatCsv({sampleSection()}, QLatin1Char(',')));
    QCOMPARE(comma.split(QLatin1Char('\n')).at(2), QStringLiteral("2,\"Kovács; \"\"Ő\"\" Bt.\",\"a,b\",bad checksum"));
}

void TestCliParse::jsonCarriesStatusAndRaw()
{
    const QJsonObject root =
        QJsonDocument::fromJson(FormatJson({sampleSection()}, CExportInfo{QStringLiteral("Com2"), false})).object();
    QCOMPARE(root.value(QStringLiteral("complete")).toBool(), false);
    const QJsonArray records = root.value(QStringLiteral("sets")).toArray().at(0).toObject().value(QStringLiteral("records")).toArray();
    QCOMPARE(records.size(), 2);
    const QJsonObject first = records.at(0).toObject();
    QCOMPARE(first.value(QStringLiteral("raw")).toString(), QStringLiteral("00ff10"));
    QCOMPARE(first.value(QStringLiteral("values")).toObject().value(QStringLiteral("Name")).toString(),
             QStringLiteral("Kovács; \"Ő\" Bt."));
    QCOMPARE(records.at(1).toObject().value(QStringLiteral("status")).toInt(), 0x8030);
    QCOMPARE(records.at(1).toObject().value(QStringLiteral("result")).toString(), QStringLiteral("bad checksum"));
}

void TestCliParse::progressCountsAcrossSets()
{
    QBuffer sink;
    sink.open(QIODevice::WriteOnly);
    CTerminalProgress p(&sink, true, 31 + 18);
    // The daily log: range 0..31, positions 0..30, then the reset to 0.
    p.BeginSet(QStringLiteral("daily"), 31);
    p.SetRange(0, 31);
    for (int i = 0; i < 31; ++i)
        p.SetPos(i);
    p.SetPos(0);
    QCOMPARE(p.Done(), 31);
    p.EndSet();
    // The configuration: range 1..19, chunk positions 1..18.
    p.BeginSet(QStringLiteral("config"), 18);
    p.SetRange(1, 19);
    for (int k = 1; k <= 9; ++k)
        p.SetPos(k);
    QCOMPARE(p.Done(), 40);
    QVERIFY(p.Line().contains(QStringLiteral("40/49")));
    p.Finish();
    QVERIFY(sink.data().startsWith('\r'));

    ClearStopRequest();
    QVERIFY(!p.StopRequested());
    RequestStop();
    QVERIFY(p.StopRequested());
    ClearStopRequest();
}

// The completion offers what the program's own tables hold, so a set, group or command added
// there is offered without touching the completion; and every command it offers parses.
void TestCliParse::completionFollowsTheTables()
{
    const QStringList commands = CompletionCandidates({QString()});
    QVERIFY(!commands.contains(QLatin1String(kCompleteCommand)));
    // quilo's main hands these two to front ends of their own
    const QStringList frontEnds{QStringLiteral("collect"), QStringLiteral("serve")};
    for (const QString &command : commands) {
        const CParseResult parsed = ParseCommandLine({command});
        QVERIFY2(frontEnds.contains(command) || !parsed.error.contains(QLatin1String("unknown command")), qPrintable(command));
    }
    QCOMPARE(commands.size(), static_cast<qsizetype>(Commands().size()) + frontEnds.size());

    const QStringList sets = CompletionCandidates({QStringLiteral("read"), QString()});
    for (const Quilo::DataSetInfo &set : Quilo::DataSets()) {
        QVERIFY2(sets.contains(QLatin1String(set.name)), set.name);
        const QStringList next = CompletionCandidates({QStringLiteral("read"), QLatin1String(set.name), QString()});
        for (const Quilo::KeyGroup &group : set.groups)
            QVERIFY2(next.contains(QLatin1String(group.name)), group.name);
        // Each offered word reads: what the completion offers, `read` takes.
        for (const QString &word : next) {
            const Quilo::Result<QList<CSetSpec>> specs = ResolveSets({QLatin1String(set.name), word});
            QVERIFY2(specs, qPrintable(specs.error()));
        }
    }
    QVERIFY(sets.contains(QLatin1String("all")));
    // Any case, as the parser takes group names.
    QCOMPARE(CompletionCandidates({QStringLiteral("write-key"), QStringLiteral("sz")}), QStringList{QStringLiteral("SZF")});
    // Past the words a command takes, nothing.
    QVERIFY(CompletionCandidates({QStringLiteral("read"), QStringLiteral("daily"), QString()}).isEmpty());
}

void TestCliParse::completionKnowsOptionValues()
{
    // An option's value is not a positional word: the set is still the first word after read.
    const QStringList afterOptions = CompletionCandidates(
        {QStringLiteral("-f"), QStringLiteral("csv"), QStringLiteral("--port=Com1"), QStringLiteral("read"),
         QStringLiteral("--trace-file"), QStringLiteral("read"), QStringLiteral("k")});
    QCOMPARE(afterOptions, (QStringList{QStringLiteral("key-logs"), QStringLiteral("key-table")}));
    QCOMPARE(CompletionCandidates({QStringLiteral("read"), QStringLiteral("--format"), QString()}),
             (QStringList{QStringLiteral("table"), QStringLiteral("csv"), QStringLiteral("json"), QStringLiteral("quilo")}));
    QCOMPARE(CompletionCandidates({QStringLiteral("-o"), QStringLiteral("x")}), QStringList{QLatin1String(kCompleteFiles)});
    const QStringList ports = CompletionCandidates({QStringLiteral("read"), QStringLiteral("-p"), QStringLiteral("com")});
    QCOMPARE(ports.mid(0, 4), (QStringList{QStringLiteral("Com1"), QStringLiteral("Com2"), QStringLiteral("Com3"),
                                           QStringLiteral("Com4")}));
    // Every option the parser takes is offered.
    const QStringList options = CompletionCandidates({QStringLiteral("read"), QStringLiteral("-")});
    for (const OptionInfo &option : Options())
        QVERIFY2(options.contains(QStringLiteral("--") + option.names.last()), qPrintable(option.names.last()));
}

QTEST_GUILESS_MAIN(TestCliParse)
#include "tst_cliparse.moc"
