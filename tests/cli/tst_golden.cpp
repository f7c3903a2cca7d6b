// The whole unit read out, compared byte for byte with a transcript that was written from the
// unit's documented frame and record layouts alone (tests/fixtures/golden/make_golden.py), not
// by the program's command table, checksum or records, nor by the simulated unit that share
// them: a wrong data length or checksum rule would pass every other test, not this one.

#include "cliapp.h"
#include "simulatedunit.h"
#include "statejson.h"

#include <QBuffer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace QuiloCli;

namespace {

QString fixture(const char *name)
{
    return qEnvironmentVariable("QUILO_SOURCE_DIR") + QStringLiteral("/tests/fixtures/golden/") + QLatin1String(name);
}

QStringList linesOf(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The first difference of two lists, or an empty text.
QString firstDifference(const QStringList &got, const QStringList &expected)
{
    for (qsizetype i = 0; i < std::max(got.size(), expected.size()); ++i)
        if (got.value(i) != expected.value(i))
            return QStringLiteral("line %1:\n  got      %2\n  expected %3").arg(i).arg(got.value(i), expected.value(i));
    return QString();
}

} // namespace

class TestGolden : public QObject
{
    Q_OBJECT
private slots:
    void readAllMatchesTranscript();
};

void TestGolden::readAllMatchesTranscript()
{
    QuiloSim::UnitState state;
    QString error;
    QVERIFY2(QuiloSim::loadStateFile(fixture("golden_state.json"), state, &error), qPrintable(error));
    const QStringList transcript = linesOf(fixture("golden_transcript.txt"));
    QVERIFY(!transcript.isEmpty());
    QuiloSim::CSimulatedUnit unit(state); // its clock starts at 19:47:00 now
    QVERIFY2(unit.start(&error), qPrintable(error));

    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("unit.csv"));
    const QString trace = dir.filePath(QStringLiteral("trace.txt"));
    QBuffer out, err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    const int exit = RunCli({QStringLiteral("read"), QStringLiteral("all"), QStringLiteral("-f"), QStringLiteral("csv"),
                             QStringLiteral("-s"), QStringLiteral(";"), QStringLiteral("-o"), csv,
                             QStringLiteral("--trace-file"), trace, QStringLiteral("--port"), unit.slavePath()},
                            CCliStreams{&out, &err, nullptr, false});
    QVERIFY2(exit == 0, err.data().constData());

    // Every frame both ways, in order: "HH:mm:ss.zzz -> C6 01  [sent]" becomes "> C6 01".
    static const QRegularExpression traced(QStringLiteral("^\\S+ (->|<-|<x) ([0-9A-F ]*?)  \\["));
    QStringList frames;
    for (const QString &line : linesOf(trace)) {
        const QRegularExpressionMatch m = traced.match(line);
        QVERIFY2(m.hasMatch(), qPrintable(line));
        const QString arrow = m.captured(1);
        frames << (arrow == QLatin1String("->") ? QStringLiteral("> ") : arrow == QLatin1String("<-") ? QStringLiteral("< ")
                                                                                                      : QStringLiteral("x "))
                      + m.captured(2);
    }
    QStringList expectedFrames;
    QStringList expectedRows;
    for (const QString &line : transcript) {
        if (line.startsWith(QLatin1String("> ")) || line.startsWith(QLatin1String("< ")))
            expectedFrames << line;
        else if (line.startsWith(QLatin1String("= ")))
            expectedRows << line.mid(2);
    }
    QCOMPARE(expectedFrames.size(), 2 * 912);
    QVERIFY2(frames == expectedFrames, qPrintable(firstDifference(frames, expectedFrames)));

    // Every record as the program shows it: the CSV rows, numbered, with their result.
    QStringList rows;
    for (const QString &line : linesOf(csv))
        if (!line.isEmpty() && line.at(0).isDigit())
            rows << line;
    QVERIFY2(rows == expectedRows, qPrintable(firstDifference(rows, expectedRows)));
}

QTEST_GUILESS_MAIN(TestGolden)
#include "tst_golden.moc"
