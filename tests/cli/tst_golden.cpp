// The whole unit read out, compared byte for byte with a transcript that was written from the
// unit's documented frame and record layouts alone (tests/fixtures/golden/make_golden.py), not
// by the program's command table, checksum or records, nor by the simulated unit that share
// them: a wrong data length or checksum rule would pass every other test, not this one. The
// same for key mode and the two writes (golden_writes.txt): the key presentation before each
// request, the data frames and their answers.

#include "cliapp.h"
#include "simulatedunit.h"
#include "statejson.h"

#include <QBuffer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
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

// Every frame of a trace file, in order: "HH:mm:ss.zzz -> C6 01  [sent]" becomes "> C6 01".
// Empty, with `bad` set to the line, when a line is not a frame.
QStringList tracedFrames(const QString &trace, QString *bad)
{
    static const QRegularExpression traced(QStringLiteral("^\\S+ (->|<-|<x) ([0-9A-F ]*?)  \\["));
    QStringList frames;
    for (const QString &line : linesOf(trace)) {
        const QRegularExpressionMatch m = traced.match(line);
        if (!m.hasMatch()) {
            *bad = line;
            return {};
        }
        const QString arrow = m.captured(1);
        frames << (arrow == QLatin1String("->") ? QStringLiteral("> ") : arrow == QLatin1String("<-") ? QStringLiteral("< ")
                                                                                                      : QStringLiteral("x "))
                      + m.captured(2);
    }
    return frames;
}

// One run of golden_writes.txt.
struct GoldenRun {
    QStringList args;
    QString userKey; // hex; empty: key mode off
    QStringList frames;
    QStringList rows;
};

QList<GoldenRun> goldenRuns(const QStringList &lines)
{
    QList<GoldenRun> runs;
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("## ")))
            runs.append(GoldenRun{});
        else if (runs.isEmpty())
            continue;
        else if (line.startsWith(QLatin1String("@ user-key ")))
            runs.last().userKey = line.mid(11);
        else if (line.startsWith(QLatin1String("$ ")))
            for (const auto &arg : QJsonDocument::fromJson(line.mid(2).toUtf8()).array())
                runs.last().args << arg.toString();
        else if (line.startsWith(QLatin1String("> ")) || line.startsWith(QLatin1String("< ")))
            runs.last().frames << line;
        else if (line.startsWith(QLatin1String("= ")))
            runs.last().rows << line.mid(2);
    }
    return runs;
}

} // namespace

class TestGolden : public QObject
{
    Q_OBJECT
private slots:
    void readAllMatchesTranscript();
    void keyModeAndWritesMatchTranscript_data();
    void keyModeAndWritesMatchTranscript();
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

    QString bad;
    const QStringList frames = tracedFrames(trace, &bad);
    QVERIFY2(bad.isEmpty(), qPrintable(bad));
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

void TestGolden::keyModeAndWritesMatchTranscript_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("userKey");
    QTest::addColumn<QStringList>("expectedFrames");
    QTest::addColumn<QStringList>("expectedRows");
    const QList<GoldenRun> runs = goldenRuns(linesOf(fixture("golden_writes.txt")));
    if (runs.size() < 5) // fails below rather than passing with no rows
        QTest::newRow("golden_writes.txt missing or short") << QStringList() << QString() << QStringList() << QStringList();
    for (const GoldenRun &run : runs)
        QTest::newRow(qPrintable(run.args.join(QLatin1Char(' ')))) << run.args << run.userKey << run.frames << run.rows;
}

void TestGolden::keyModeAndWritesMatchTranscript()
{
    QFETCH(QStringList, args);
    QFETCH(QString, userKey);
    QFETCH(QStringList, expectedFrames);
    QFETCH(QStringList, expectedRows);
    QVERIFY(!args.isEmpty() && !expectedFrames.isEmpty());

    QuiloSim::UnitState state;
    QString error;
    QVERIFY2(QuiloSim::loadStateFile(fixture("golden_state.json"), state, &error), qPrintable(error));
    if (!userKey.isEmpty()) {
        const QByteArray key = QByteArray::fromHex(userKey.toLatin1());
        QCOMPARE(key.size(), 8);
        QuiloSim::Key k{};
        std::copy(key.begin(), key.end(), k.begin());
        state.userKey = k;
    }
    QuiloSim::CSimulatedUnit unit(state);
    QVERIFY2(unit.start(&error), qPrintable(error));

    QTemporaryDir dir;
    const QString trace = dir.filePath(QStringLiteral("trace.txt"));
    QBuffer out, err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    const int exit = RunCli(args + QStringList{QStringLiteral("--trace-file"), trace, QStringLiteral("--port"), unit.slavePath()},
                            CCliStreams{&out, &err, nullptr, false});
    QVERIFY2(exit == 0, err.data().constData());

    QString bad;
    const QStringList frames = tracedFrames(trace, &bad);
    QVERIFY2(bad.isEmpty(), qPrintable(bad));
    QVERIFY2(frames == expectedFrames, qPrintable(firstDifference(frames, expectedFrames)));
    QStringList rows;
    for (const QString &line : QString::fromUtf8(out.data()).split(QLatin1Char('\n')))
        if (!line.isEmpty() && line.at(0).isDigit())
            rows << line;
    QVERIFY2(rows == expectedRows, qPrintable(firstDifference(rows, expectedRows)));
}

QTEST_GUILESS_MAIN(TestGolden)
#include "tst_golden.moc"
