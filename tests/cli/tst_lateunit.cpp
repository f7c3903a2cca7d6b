// A unit that answers every request late, by one or more transaction windows: whatever the
// read shows as read holds that very record's data, never the answer to another request.

#include "cliapp.h"
#include "simulatedunit.h"

#include <QBuffer>
#include <QTest>

using namespace QuiloCli;

namespace {

struct Run {
    int exit = -1;
    QStringList rows; // the CSV records: number;values...;result
    QString err;
};

Run readYearly(const QString &port)
{
    QBuffer out;
    QBuffer err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    Run r;
    r.exit = RunCli({QStringLiteral("read"), QStringLiteral("yearly"), QStringLiteral("-f"), QStringLiteral("csv"),
                     QStringLiteral("-s"), QStringLiteral(";"), QStringLiteral("--port"), port},
                    CCliStreams{&out, &err, nullptr, false});
    for (const QString &line : QString::fromUtf8(out.data()).split(QLatin1Char('\n')))
        if (!line.isEmpty() && line.at(0).isDigit())
            r.rows << line;
    r.err = QString::fromUtf8(err.data());
    return r;
}

QString resultOf(const QString &row)
{
    return row.section(QLatin1Char(';'), -1);
}

} // namespace

class TestLateUnit : public QObject
{
    Q_OBJECT
private slots:
    void noRecordHoldsAnothersData_data();
    void noRecordHoldsAnothersData();
};

// One window is the three read attempts of a yearly record: 3 x (100 + 20 x 21) ms.
void TestLateUnit::noRecordHoldsAnothersData_data()
{
    QTest::addColumn<int>("turnaroundMs");
    QTest::addColumn<QString>("faultSpec");
    QTest::addColumn<int>("minRead"); // records that must still be read

    QTest::newRow("one window late") << 0 << QStringLiteral("201=late:1590") << 0;
    QTest::newRow("two windows late, slow turnaround") << 4500 << QString() << 0;
    QTest::newRow("two windows late, late replies") << 0 << QStringLiteral("any=late:4500") << 0;
    QTest::newRow("late within the attempts") << 0 << QStringLiteral("any=late:700") << 6;
}

void TestLateUnit::noRecordHoldsAnothersData()
{
    QFETCH(int, turnaroundMs);
    QFETCH(QString, faultSpec);
    QFETCH(int, minRead);

    QuiloSim::CSimulatedUnit unit;
    QString error;
    QVERIFY2(unit.start(&error), qPrintable(error));
    const Run healthy = readYearly(unit.slavePath());
    QCOMPARE(healthy.exit, 0);
    QCOMPARE(healthy.rows.size(), 6);

    unit.setTurnaroundMs(turnaroundMs);
    if (!faultSpec.isEmpty()) {
        const std::optional<QuiloSim::Fault> fault = QuiloSim::parseFault(faultSpec);
        QVERIFY(fault);
        unit.addFault(*fault);
    }
    const Run late = readYearly(unit.slavePath());
    QCOMPARE(late.rows.size(), 6);
    int read = 0;
    for (qsizetype i = 0; i < late.rows.size(); ++i) {
        if (resultOf(late.rows[i]) != QLatin1String("read"))
            continue;
        ++read;
        QCOMPARE(late.rows[i], healthy.rows[i]);
    }
    QVERIFY2(read >= minRead, qPrintable(late.rows.join(QLatin1Char('\n')) + late.err));
}

QTEST_GUILESS_MAIN(TestLateUnit)
#include "tst_lateunit.moc"
