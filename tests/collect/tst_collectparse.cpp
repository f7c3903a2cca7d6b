// What `quilo collect` takes before it reads anything: the units list, the key files, its
// command line, and the exit status it ends with.

#include "collectargs.h"
#include "collectreport.h"
#include "unitlist.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace QuiloCollect;

class TestCollectParse : public QObject
{
    Q_OBJECT

private slots:
    void unitList_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("expected"); // name|port|keyFile per unit; or the error's words
        QTest::addColumn<bool>("ok");
        QTest::newRow("names, ports, comments, blank lines, CRLF")
            << QByteArray("# venue 3\r\n\r\nbar-1  /dev/ttyUSB0   # by the door\r\n  bar-2\ttcp://10.1.3.20:4001 key=k/bar2.key\n")
            << QStringList{QStringLiteral("bar-1|/dev/ttyUSB0|"), QStringLiteral("bar-2|tcp://10.1.3.20:4001|k/bar2.key")}
            << true;
        QTest::newRow("a # inside a word is text") << QByteArray("a rfc2217://h:1/x#y\n")
                                                    << QStringList{QStringLiteral("a|rfc2217://h:1/x#y|")} << true;
        QTest::newRow("empty list") << QByteArray("\n# none\n") << QStringList{} << true;
        QTest::newRow("name without port") << QByteArray("ok Com1\nlonely\n")
                                           << QStringList{QStringLiteral("line 2"), QStringLiteral("a name and a port")} << false;
        QTest::newRow("unknown entry") << QByteArray("a Com1 baud=9600\n")
                                       << QStringList{QStringLiteral("line 1"), QStringLiteral("baud=9600")} << false;
        QTest::newRow("key given twice") << QByteArray("a Com1 key=x key=y\n") << QStringList{QStringLiteral("key=y")} << false;
        QTest::newRow("empty key file name") << QByteArray("a Com1 key=\n") << QStringList{QStringLiteral("key=")} << false;
        QTest::newRow("name twice") << QByteArray("a Com1\na Com2\n")
                                    << QStringList{QStringLiteral("line 2"), QStringLiteral("\"a\" is given twice")} << false;
        QTest::newRow("port twice") << QByteArray("a Com1\nb Com2\nc Com1\n")
                                    << QStringList{QStringLiteral("line 3"), QStringLiteral("line 1 has it too")} << false;
        QTest::newRow("overlong line") << QByteArray("a ") + QByteArray(kMaxLineLength, 'x')
                                       << QStringList{QStringLiteral("longer than")} << false;
    }

    void unitList()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, expected);
        QFETCH(bool, ok);
        const auto parsed = ParseUnitList(text, QStringLiteral("units.conf"));
        QCOMPARE(parsed.ok(), ok);
        if (!ok) {
            QVERIFY(parsed.error().startsWith(QLatin1String("units.conf line")));
            for (const QString &words : expected)
                QVERIFY2(parsed.error().contains(words), qPrintable(parsed.error()));
            return;
        }
        QStringList got;
        for (const CollectUnit &u : *parsed)
            got << u.name + QLatin1Char('|') + u.port + QLatin1Char('|') + u.keyFile;
        QCOMPARE(got, expected);
    }

    // The key stays with its owner: a file others may read is refused before it is read.
    void keyFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("error"); // empty: taken
        QTest::newRow("owner only") << QByteArray("01 23 45 67 89 AB CD EF\n") << 0600 << QString();
        QTest::newRow("the window's form") << QByteArray("01 - 23 45 67 89 AB CD - EF") << 0400 << QString();
        QTest::newRow("group may read") << QByteArray("0123456789ABCDEF") << 0640 << QStringLiteral("may be read by others");
        QTest::newRow("anyone may read") << QByteArray("0123456789ABCDEF") << 0604 << QStringLiteral("chmod 600");
        QTest::newRow("no key") << QByteArray("secret") << 0600 << QStringLiteral("holds no user key");
        QTest::newRow("two lines") << QByteArray("0123456789ABCDEF\n0123456789ABCDEF") << 0600 << QStringLiteral("holds no user key");
    }

    void keyFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, mode);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("unit.key"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        QVERIFY(::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode)) == 0);
        const auto key = ReadKeyFile(path);
        QCOMPARE(key.ok(), error.isEmpty());
        if (!key.ok()) {
            QVERIFY2(key.error().contains(error), qPrintable(key.error()));
            // never the key itself in a message
            QVERIFY(!key.error().contains(QLatin1String("0123456789ABCDEF")));
        }
    }

    // A list naming a key file relative to itself, and one whose key file is refused.
    void loadList()
    {
        QTemporaryDir dir;
        QFile key(dir.filePath(QStringLiteral("a.key")));
        QVERIFY(key.open(QIODevice::WriteOnly));
        key.write("0011223344556677");
        key.close();
        QVERIFY(key.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QFile list(dir.filePath(QStringLiteral("units.conf")));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write("a Com1 key=a.key\nb Com2\n");
        list.close();
        bool unreadable = true;
        auto units = LoadUnitList(list.fileName(), &unreadable);
        QVERIFY2(units.ok(), qPrintable(units.error()));
        QCOMPARE(units->at(0).userKey, QStringLiteral("00 - 11 22 33 44 55 66 - 77"));
        QVERIFY(units->at(1).userKey.isEmpty());

        QVERIFY(key.setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        units = LoadUnitList(list.fileName(), &unreadable);
        QVERIFY(!units.ok());
        QVERIFY(!unreadable);
        QVERIFY2(units.error().contains(QLatin1String("line 1")), qPrintable(units.error()));

        units = LoadUnitList(dir.filePath(QStringLiteral("missing.conf")), &unreadable);
        QVERIFY(!units.ok());
        QVERIFY(unreadable);
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("error"); // empty: taken
        QTest::newRow("ports and options") << QStringList{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("-j"), QStringLiteral("4"),
                                                          QStringLiteral("--every=2h"), QStringLiteral("Com1")}
                                           << QString();
        QTest::newRow("daily time") << QStringList{QStringLiteral("--at"), QStringLiteral("23:30")} << QString();
        QTest::newRow("every and at") << QStringList{QStringLiteral("--every"), QStringLiteral("1h"), QStringLiteral("--at"), QStringLiteral("23:30")}
                                      << QStringLiteral("cannot be given together");
        QTest::newRow("every too often") << QStringList{QStringLiteral("--every"), QStringLiteral("10s")} << QStringLiteral("--every");
        QTest::newRow("no such time") << QStringList{QStringLiteral("--at"), QStringLiteral("25:00")} << QStringLiteral("--at");
        QTest::newRow("jobs zero") << QStringList{QStringLiteral("--jobs"), QStringLiteral("0")} << QStringLiteral("--jobs");
        QTest::newRow("value missing") << QStringList{QStringLiteral("--units")} << QStringLiteral("--units");
        QTest::newRow("csv") << QStringList{QStringLiteral("-f"), QStringLiteral("csv")} << QStringLiteral("\"csv\"");
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--simulate")} << QStringLiteral("--simulate");
    }

    void commandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, error);
        const auto o = ParseCollectArgs(args);
        QCOMPARE(o.ok(), error.isEmpty());
        if (!o.ok()) {
            QVERIFY2(o.error().contains(error), qPrintable(o.error()));
            return;
        }
        if (args.first() == QLatin1String("/dev/ttyUSB0")) {
            QCOMPARE(o->ports, (QStringList{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("Com1")}));
            QCOMPARE(o->jobs, 4);
            QCOMPARE(o->everyMs, 2 * 3600 * 1000LL);
            QVERIFY(o->service());
        }
    }

    void exitStatus_data()
    {
        using O = UnitRun::Outcome;
        QTest::addColumn<QList<int>>("outcomes");
        QTest::addColumn<bool>("flag");
        QTest::addColumn<int>("status");
        QTest::newRow("all read") << QList<int>{int(O::Read), int(O::Read)} << false << 0;
        QTest::newRow("a flag") << QList<int>{int(O::Read), int(O::Read)} << true << 1;
        QTest::newRow("one failed") << QList<int>{int(O::Read), int(O::Failed)} << false << 1;
        QTest::newRow("none reached") << QList<int>{int(O::Failed), int(O::Failed)} << false << 2;
        QTest::newRow("stopped before any read") << QList<int>{int(O::Stopped), int(O::Stopped)} << false << 1;
    }

    void exitStatus()
    {
        QFETCH(QList<int>, outcomes);
        QFETCH(bool, flag);
        QFETCH(int, status);
        QList<UnitRun> runs;
        for (const int o : outcomes) {
            UnitRun r;
            r.outcome = static_cast<UnitRun::Outcome>(o);
            r.filed = r.outcome == UnitRun::Outcome::Read;
            r.visit.where = FiledVisit::Where::Recorded;
            runs << r;
        }
        if (flag)
            runs.first().visit.flags << QStringLiteral("counter-lower");
        QCOMPARE(CollectExitStatus(runs), status);
    }
};

QTEST_GUILESS_MAIN(TestCollectParse)
#include "tst_collectparse.moc"
