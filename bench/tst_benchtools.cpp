// The benchmark's own tools: statistics, child processes and their peak memory, the line meter
// against the simulated unit on a real pseudo-terminal. Fast; the benchmark itself is not run.
#include "measure.h"
#include "readout.h"

#include "simulatedunit.h"
#include "unitgenerator.h"

#include <QCoreApplication>
#include <QtTest>

#include <cstring>
#include <memory>

using namespace QuiloBench;

namespace {

constexpr std::size_t kAllocateMiB = 64;

// Run as a child by peakMemoryOfChild: touches kAllocateMiB and ends.
int allocateAndExit()
{
    const std::size_t size = kAllocateMiB << 20;
    std::unique_ptr<char[]> block(new char[size]);
    // Every page written through a volatile pointer: the allocation cannot be optimised away.
    volatile char *pages = block.get();
    for (std::size_t i = 0; i < size; i += 4096)
        pages[i] = 1;
    return pages[size - 4096] == 1 ? 0 : 1;
}

} // namespace

class TestBenchTools : public QObject
{
    Q_OBJECT

private slots:
    void statistics_data()
    {
        QTest::addColumn<QList<double>>("values");
        QTest::addColumn<double>("middle");
        QTest::addColumn<double>("p99");
        QTest::newRow("none") << QList<double>{} << 0.0 << 0.0;
        QTest::newRow("one") << QList<double>{7} << 7.0 << 7.0;
        QTest::newRow("even count, unsorted") << QList<double>{4, 1, 3, 2} << 2.5 << 4.0;
        QList<double> hundred;
        for (int i = 100; i >= 1; --i)
            hundred << i;
        // Nearest rank: the 99th of 100 values, not the largest.
        QTest::newRow("1..100") << hundred << 50.5 << 99.0;
        QList<double> outlier(200, 1.0);
        outlier[17] = 1000;
        QTest::newRow("one outlier in 200") << outlier << 1.0 << 1.0;
    }
    void statistics()
    {
        QFETCH(QList<double>, values);
        QFETCH(double, middle);
        QFETCH(double, p99);
        const std::vector<double> v(values.begin(), values.end());
        QCOMPARE(median(v), middle);
        QCOMPARE(quantile(v, 0.99), p99);
    }

    void childExitStatus_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("expected");
        QTest::newRow("success") << QStringLiteral("exit 0") << true << QString();
        QTest::newRow("failure") << QStringLiteral("exit 3") << false << QStringLiteral("exit status 3");
        QTest::newRow("killed") << QStringLiteral("kill -9 $$") << false << QStringLiteral("signal 9");
        QTest::newRow("hangs") << QStringLiteral("sleep 30") << false << QStringLiteral("did not end within 1 s");
    }
    void childExitStatus()
    {
        QFETCH(QString, script);
        QFETCH(bool, ok);
        QFETCH(QString, expected);
        CChildProcess child;
        QString error;
        QVERIFY(child.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script}, {}, false, &error));
        QElapsedTimer clock;
        clock.start();
        error.clear();
        QCOMPARE(child.wait(1000, nullptr, &error), ok);
        QCOMPARE(error, expected);
        QVERIFY(!child.isRunning());
        QVERIFY(clock.elapsed() < 20000); // a hanging child is killed, not waited for
    }

    void childOutputAndEnvironment()
    {
        CChildProcess child;
        QVERIFY(child.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("echo \"$BENCH_X\"; echo two")},
                            {QStringLiteral("BENCH_X=first line")}, true));
        QCOMPARE(child.readLine(10000), QByteArray("first line"));
        QCOMPARE(child.readLine(10000), QByteArray("two"));
        QVERIFY(child.wait(10000));
    }

    void missingProgramIsAnError()
    {
        CChildProcess child;
        QString error;
        QVERIFY(!child.start(QStringLiteral("/nonexistent/quilo"), {}, {}, false, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!child.isRunning());
    }

    // KiB, not bytes or pages: a child that touches 64 MiB peaks above 64 MiB and well below 1 GiB.
    void peakMemoryOfChild()
    {
        CChildProcess child;
        long peakKiB = 0;
        QVERIFY(child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--allocate")}));
        QVERIFY(child.wait(30000, &peakKiB));
        QVERIFY2(peakKiB >= long{kAllocateMiB} * 1024 && peakKiB < 1024L * 1024, qPrintable(QString::number(peakKiB)));
    }

    // The meter counts every byte both ways and one transaction per reply, as the unit saw them.
    void lineMeterCountsWhatTheUnitSaw_data()
    {
        QTest::addColumn<int>("dataSet");
        QTest::addColumn<bool>("keyMode");
        QTest::addColumn<int>("transactions");
        QTest::addColumn<int>("bytes");
        QTest::newRow("daily") << int(CTarvelDoc::dsDaily) << false << 31 << 31 * (2 + 29);
        QTest::newRow("yearly, key mode") << int(CTarvelDoc::dsYearly) << true << 12 << 6 * (24 + 2 + 21);
        QTest::newRow("configuration") << int(CTarvelDoc::dsConfig) << false << 18 << 18 * (2 + 4) + 346;
    }
    void lineMeterCountsWhatTheUnitSaw()
    {
        QFETCH(int, dataSet);
        QFETCH(bool, keyMode);
        QFETCH(int, transactions);
        QFETCH(int, bytes);
        QuiloSim::CSimulatedUnit unit(QuiloSim::generateState(3));
        if (keyMode)
            unit.setUserKey(QuiloSim::Key{1, 2, 3, 4, 5, 6, 7, 8});
        QString error;
        QVERIFY2(unit.start(&error), qPrintable(error));
        CTarvelDoc doc;
        doc.SetPort(unit.slavePath());
        if (keyMode)
            QVERIFY(doc.SetKeyMode(1, QStringLiteral("01 - 02 03 04 05 06 07 - 08")));
        CLineMeter meter(doc.FrameLink());
        const CReadOutResult r = readDataSet(doc, meter, dataSet);
        unit.stop();
        QCOMPARE(r.failed, 0);
        QCOMPARE(static_cast<int>(meter.transactionNs().size()), transactions);
        QCOMPARE(meter.bytes(), std::int64_t{bytes});
        std::int64_t unitBytes = 0;
        for (const QuiloSim::Frame &f : unit.receivedFrames())
            unitBytes += f.bytes.size();
        for (const QByteArray &b : unit.sentFrames())
            unitBytes += b.size();
        QCOMPARE(meter.bytes(), unitBytes);
        for (std::int64_t ns : meter.transactionNs())
            QVERIFY(ns > 0);
    }
};

int main(int argc, char *argv[])
{
    if (argc == 2 && std::strcmp(argv[1], "--allocate") == 0)
        return allocateAndExit();
    QCoreApplication app(argc, argv);
    TestBenchTools test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_benchtools.moc"
