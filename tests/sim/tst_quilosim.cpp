// The quilo-sim program as a tester runs it.

#include "statejson.h"
#include "unitgenerator.h"

#include "fiforeader.h"
#include "rawport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace QuiloSim;
using namespace Qt::StringLiterals;

class TestQuiloSim : public QObject
{
    Q_OBJECT
private slots:
    void servesUntilTerminated()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(u"ttyQuilo"_s);
        const QString log = dir.filePath(u"traffic.log"_s);
        const QString saved = dir.filePath(u"saved.json"_s);
        QProcess sim;
        sim.start(QStringLiteral(QUILO_SIM_PROGRAM),
                  {u"--seed"_s, u"8"_s, u"--no-pace"_s, u"--link"_s, link, u"--log"_s, log, u"--save-state"_s, saved,
                   u"--fault"_s, u"198:2=checksum"_s, u"--key"_s, u"01 23 45 67 89 AB CD EF"_s});
        QVERIFY(sim.waitForStarted());
        QVERIFY(sim.waitForReadyRead(5000));
        const QString slave = QString::fromLocal8Bit(sim.readLine()).trimmed();
        QCOMPARE(QFileInfo(link).symLinkTarget(), slave);

        const UnitState unit = generateState(8);
        RawPort port(link);
        const QByteArray key = withChecksum(QByteArray::fromHex("CD 00 0123456789ABCDEF"));
        QCOMPARE(port.transact(key, 12), key);
        QCOMPARE(port.transact(bytesOf({198, 1}), 29), withChecksum(bytesOf({198, 1}) + replyData(unit, 198, 1)));
        QVERIFY(port.transact(bytesOf({198, 1}), 29, 300).isEmpty()); // not armed again
        QCOMPARE(port.transact(key, 12), key);
        const QByteArray spoilt = port.transact(bytesOf({198, 2}), 29);
        QCOMPARE(spoilt.left(27), withChecksum(bytesOf({198, 2}) + replyData(unit, 198, 2)).left(27));
        QVERIFY(spoilt != withChecksum(spoilt.left(27)));
        const QByteArray write = withChecksum(bytesOf({205, 1, 1, 1, 1, 1, 1, 1, 1, 1}));
        QCOMPARE(port.transact(key, 12), key);
        QCOMPARE(port.transact(write, 12), write);
        port.close();

        sim.terminate(); // SIGTERM
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());

        QFile f(log);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().contains("<- request C6 01"));
        UnitState after;
        QString error;
        QVERIFY2(loadStateFile(saved, after, &error), qPrintable(error));
        QCOMPARE(after.keyTable[0], (Key{1, 1, 1, 1, 1, 1, 1, 1})); // the write was kept
        QVERIFY(after.userKey.has_value());
    }

    // --save-state to a device node, a FIFO or "-" writes the unit into it and leaves it what it
    // was: saving to /dev/null must not give the machine a regular file there.
    void savesStateIntoDevicesInPlace_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("device node") << u"device"_s;
        QTest::newRow("FIFO") << u"fifo"_s;
        QTest::newRow("standard output") << u"-"_s;
    }
    void savesStateIntoDevicesInPlace()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        QString target = dir.filePath(u"unit.json"_s);
        const QByteArray native = QFile::encodeName(target);
        mode_t type = 0;
        if (kind == u"device"_s) {
            if (::geteuid() != 0)
                QSKIP("making a device node needs root");
            QCOMPARE(::mknod(native.constData(), S_IFCHR | 0666, makedev(1, 3)), 0); // as /dev/null
            type = S_IFCHR;
        } else if (kind == u"fifo"_s) {
            QCOMPARE(::mkfifo(native.constData(), 0600), 0);
            type = S_IFIFO;
        } else {
            target = u"-"_s;
        }
        std::optional<FifoReader> reader;
        if (type == S_IFIFO)
            reader.emplace(QFile::decodeName(native));
        QProcess sim;
        sim.setWorkingDirectory(dir.path());
        sim.start(QStringLiteral(QUILO_SIM_PROGRAM), {u"--seed"_s, u"4"_s, u"--no-pace"_s, u"--save-state"_s, target});
        const bool started = sim.waitForStarted() && sim.waitForReadyRead(5000);
        const QByteArray slave = sim.readLine();
        sim.terminate();
        const bool finished = sim.waitForFinished(5000);
        const QByteArray fromFifo = reader ? reader->finish() : QByteArray();
        QVERIFY(started && finished);
        QVERIFY2(sim.exitCode() == 0, sim.readAllStandardError().constData());
        QVERIFY(slave.startsWith("/dev/"));
        const QByteArray saved = type == S_IFIFO ? fromFifo : sim.readAllStandardOutput();
        if (type == S_IFCHR) {
            QVERIFY(saved.isEmpty());
        } else {
            UnitState unit;
            QString error;
            QVERIFY2(stateFromJson(QJsonDocument::fromJson(saved).object(), unit, &error), qPrintable(error));
            QCOMPARE(replyData(unit, 198, 1), replyData(generateState(4), 198, 1));
        }
        if (type) {
            struct stat st {};
            QCOMPARE(::stat(native.constData(), &st), 0);
            QCOMPARE(st.st_mode & S_IFMT, type);
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), type ? 1 : 0);
    }

    // --link never removes what it finds, a link of someone else's least of all.
    void linkPathInUseIsRefused()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(u"ttyQuilo"_s);
        QVERIFY(QFile::link(u"/dev/null"_s, link));
        QProcess sim;
        sim.start(QStringLiteral(QUILO_SIM_PROGRAM), {u"--no-pace"_s, u"--link"_s, link});
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 2);
        QVERIFY(sim.readAllStandardError().contains("exists already"));
        QCOMPARE(QFileInfo(link).symLinkTarget(), u"/dev/null"_s);
    }

    void refusesBadArguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("fault") << QStringList{u"--fault"_s, u"198=explode"_s};
        QTest::newRow("key") << QStringList{u"--key"_s, u"0123"_s};
        QTest::newRow("seed") << QStringList{u"--seed"_s, u"many"_s};
        QTest::newRow("turnaround") << QStringList{u"--turnaround"_s, u"-5"_s};
        QTest::newRow("state file") << QStringList{u"--state"_s, u"/nonexistent/unit.json"_s};
        QTest::newRow("device") << QStringList{u"--device"_s, u"/nonexistent/ttyS9"_s};
    }
    void refusesBadArguments()
    {
        QFETCH(QStringList, arguments);
        QProcess sim;
        sim.start(QStringLiteral(QUILO_SIM_PROGRAM), arguments);
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 2);
        QVERIFY(sim.readAllStandardOutput().isEmpty());
        QVERIFY(!sim.readAllStandardError().isEmpty());
    }

    // Its help and messages in the language asked for, with the names typed kept as they are.
    void speaksTheLanguageAsked_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("kept"); // in both languages
        QTest::newRow("help") << QStringList{u"--help"_s} << QByteArray("--adapter-latency <MS>");
        QTest::newRow("fault") << QStringList{u"--fault"_s, u"198=explode"_s} << QByteArray("198=explode");
        QTest::newRow("seed") << QStringList{u"--seed"_s, u"many"_s} << QByteArray("--seed");
        QTest::newRow("key") << QStringList{u"--key"_s, u"0123"_s} << QByteArray("--key");
        QTest::newRow("state file") << QStringList{u"--state"_s, u"@unknown-entry"_s} << QByteArray("\"bogus\"");
    }
    void speaksTheLanguageAsked()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, kept);
        QTemporaryDir dir;
        if (arguments.last() == u"@unknown-entry"_s) {
            QFile state(dir.filePath(u"unit.json"_s));
            QVERIFY(state.open(QIODevice::WriteOnly));
            state.write("{\"seed\": 3, \"bogus\": 1}");
            arguments.last() = state.fileName();
        }
        QByteArray said[2];
        int exit[2] = {};
        for (int i = 0; i < 2; ++i) {
            QProcess sim;
            sim.start(QStringLiteral(QUILO_SIM_PROGRAM), QStringList{u"--lang"_s, i ? u"hu"_s : u"en"_s} + arguments);
            QVERIFY(sim.waitForFinished(5000));
            exit[i] = sim.exitCode();
            said[i] = sim.readAllStandardOutput() + sim.readAllStandardError();
            QVERIFY2(said[i].contains(kept), said[i].constData());
        }
        QCOMPARE(exit[1], exit[0]);
        QVERIFY2(said[1] != said[0], said[1].constData());
    }
};

QTEST_GUILESS_MAIN(TestQuiloSim)
#include "tst_quilosim.moc"
