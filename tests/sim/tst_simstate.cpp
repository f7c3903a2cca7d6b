#include "bcd.h"
#include "codepage.h"
#include "statejson.h"
#include "unitgenerator.h"
#include "unitstate.h"

#include <QJsonArray>
#include <QtTest>

using namespace QuiloSim;
using namespace Qt::StringLiterals;

namespace {

// The test's own encoders, written from the record layouts, not from the unit's code.
QByteArray le(std::uint32_t v, int bytes)
{
    QByteArray out;
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    return out;
}

template<std::size_t N>
QByteArray raw(const std::array<std::uint8_t, N> &a)
{
    return QByteArray(reinterpret_cast<const char *>(a.data()), static_cast<qsizetype>(N));
}

QByteArray text(const QString &s, int width)
{
    QByteArray b = Quilo::EncodeCp1250(s);
    return b + QByteArray(width - b.size(), '\0');
}

QByteArray daily(const DailyRecord &r)
{
    return raw(r.date) + le(r.cashIn, 4) + le(r.cashOut, 4) + le(r.stake, 4) + le(r.win, 4) + le(r.winMax, 4)
         + raw(r.winMaxTime);
}

QByteArray period(const PeriodRecord &r)
{
    return le(r.year, 1) + le(r.period, 1) + le(r.cashIn, 4) + le(r.cashOut, 4) + le(r.stake, 4) + le(r.win, 4);
}

QByteArray keyLog(const KeyLogRecord &r)
{
    return raw(r.key) + raw(r.start) + raw(r.end);
}

template<typename R, std::size_t N>
std::uint32_t sumOf(const std::array<R, N> &records, std::uint32_t R::*member)
{
    std::uint32_t sum = 0;
    for (const auto &r : records)
        sum += r.*member;
    return sum;
}

// Every request of the command table, one parameter each end of its range.
QList<QPair<int, int>> someRequests()
{
    return {{198, 1}, {198, 31}, {199, 1}, {199, 61}, {200, 21}, {201, 6}, {202, 1}, {202, 18}, {203, 0},
            {203, 1}, {203, 192}, {206, 0}, {224, 1}, {224, 60}, {225, 1}, {244, 24}, {245, 1}, {246, 20}};
}

} // namespace

class TestSimState : public QObject
{
    Q_OBJECT
private slots:
    void replyBytesFollowTheLayouts_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("param");
        QTest::addColumn<QByteArray>("expected");
        const UnitState s = generateState(3);
        const Config &c = s.config;
        const ConfEvent &e = s.confEvents[19];
        auto row = [](const char *name, int cmd, int prm, const QByteArray &bytes) {
            QTest::newRow(name) << cmd << prm << bytes;
        };
        row("daily 1", 198, 1, daily(s.daily[0]));
        row("daily 31", 198, 31, daily(s.daily[30]));
        row("monthly 61", 199, 61, period(s.monthly[60]));
        row("quarterly 21", 200, 21, period(s.quarterly[20]));
        const YearlyRecord &y = s.yearly[5];
        row("yearly 6", 201, 6, le(y.year, 1) + le(y.cashIn, 4) + le(y.cashOut, 4) + le(y.stake, 4) + le(y.win, 4));
        row("config type", 202, 1, text(c.type, 16));
        row("config OMH id", 202, 7, text(c.omhId, 8));
        row("config cert code", 202, 8, text(c.certCode, 2));
        row("config name", 202, 12, text(c.name, 64));
        row("config step", 202, 14, le(c.counterStep, 2));
        row("config initial stake", 202, 17, le(c.initialStake, 4));
        row("config note", 202, 18, text(c.note, 64));
        row("current key", 203, 0, raw(s.currentKey));
        row("key entry 1", 203, 1, raw(s.keyTable[0]));
        row("key entry 192", 203, 192, raw(s.keyTable[191]));
        const Counters &k = s.counters;
        row("counters", 206, 0, le(k.cashIn, 4) + le(k.cashOut, 4) + le(k.stake, 4) + le(k.win, 4) + le(k.winMax, 4)
                                    + raw(k.winMaxTime) + le(k.games, 4));
        row("date log 60", 224, 60, raw(s.dateLog[59].oldDate) + raw(s.dateLog[59].newDate));
        row("event 0 chunk 1", 225, 1, text(s.confEvents[0].config.type, 16));
        row("event 19 chunk 13", 244, 13, text(e.config.address, 64));
        row("event 19 games", 244, 23, le(e.games, 4));
        row("event 19 change time", 244, 24, raw(e.changeTime));
        row("SZF log 1", 245, 1, keyLog(s.keyLogs[20]));
        row("SZF log 20", 245, 20, keyLog(s.keyLogs[39]));
        row("OMH log 20", 246, 20, keyLog(s.keyLogs[19]));
    }
    void replyBytesFollowTheLayouts()
    {
        QFETCH(int, command);
        QFETCH(int, param);
        QFETCH(QByteArray, expected);
        const UnitState s = generateState(3);
        QCOMPARE(replyData(s, static_cast<std::uint8_t>(command), static_cast<std::uint8_t>(param)).toHex(' '),
                 expected.toHex(' '));
    }

    void noDataOutsideTheRequests_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("param");
        QTest::newRow("record 0") << 198 << 0;
        QTest::newRow("record 32") << 198 << 32;
        QTest::newRow("key 193") << 203 << 193;
        QTest::newRow("chunk 19 of the configuration") << 202 << 19;
        QTest::newRow("chunk 25 of an event") << 225 << 25;
        QTest::newRow("key write is a data frame") << 205 << 1;
        QTest::newRow("clock set is a data frame") << 210 << 0;
        QTest::newRow("unknown command") << 204 << 0;
    }
    void noDataOutsideTheRequests()
    {
        QFETCH(int, command);
        QFETCH(int, param);
        QVERIFY(replyData(generateState(1), static_cast<std::uint8_t>(command), static_cast<std::uint8_t>(param)).isEmpty());
    }

    void accentedTextsGoInCodePage1250()
    {
        UnitState s = generateState(1);
        s.config.name = u"Árvíztűrő čełő"_s;
        QCOMPARE(replyData(s, 202, 12).left(15), QByteArray::fromHex("C1 72 76 ED 7A 74 FB 72 F5 20 E8 65 B3 F5 00"));
    }

    void sameSeedSameUnit()
    {
        QJsonObject a = stateToJson(generateState(11));
        QJsonObject b = stateToJson(generateState(11));
        QJsonObject c = stateToJson(generateState(12));
        for (QJsonObject *o : {&a, &b, &c})
            o->remove(u"clock"_s);
        QCOMPARE(a, b);
        QVERIFY(a != c);
    }

    void countersAddUp_data()
    {
        QTest::addColumn<std::uint32_t>("seed");
        for (std::uint32_t seed : {1u, 2u, 77u, 4000000000u})
            QTest::addRow("seed %u", seed) << seed;
    }
    void countersAddUp()
    {
        QFETCH(std::uint32_t, seed);
        const UnitState s = generateState(seed);
        for (const DailyRecord &d : s.daily) {
            QCOMPARE(d.cashIn - d.cashOut, d.stake - d.win); // nothing left in the machine overnight
            QVERIFY(d.winMax <= d.win);
            QVERIFY(isBcd(d.date[1]) && d.date[1] >= 1 && d.date[1] <= 0x12);
        }
        // All days played lie in the yearly log, on top of the installation's counters.
        QCOMPARE(s.counters.cashIn, s.config.initialIn + sumOf(s.yearly, &YearlyRecord::cashIn));
        QCOMPARE(s.counters.cashOut, s.config.initialOut + sumOf(s.yearly, &YearlyRecord::cashOut));
        QCOMPARE(s.counters.stake, s.config.initialStake + sumOf(s.yearly, &YearlyRecord::stake));
        QCOMPARE(s.counters.win, sumOf(s.yearly, &YearlyRecord::win));
        // This month's days are all in the daily log.
        std::uint32_t stakeThisMonth = 0;
        for (const DailyRecord &d : s.daily)
            if (d.date[0] == s.monthly[0].year && d.date[1] == s.monthly[0].period)
                stakeThisMonth += d.stake;
        QCOMPARE(s.monthly[0].stake, stakeThisMonth);
        // A quarter is its three months.
        const int q = 2;
        const std::uint8_t year = s.quarterly[q].year;
        std::uint32_t stakeOfQuarter = 0;
        for (const PeriodRecord &m : s.monthly)
            if (m.year == year && (fromBcd(m.period) - 1) / 3 + 1 == fromBcd(s.quarterly[q].period))
                stakeOfQuarter += m.stake;
        QCOMPARE(s.quarterly[q].stake, stakeOfQuarter);
        // Events, newest first, saw the counters grow.
        for (std::size_t i = 1; i < s.confEvents.size(); ++i)
            QVERIFY(s.confEvents[i - 1].stake >= s.confEvents[i].stake);
        QVERIFY(s.counters.stake >= s.confEvents[0].stake);
        QCOMPARE(s.confEvents[0].config.note, s.config.note);
    }

    void jsonRoundTrip()
    {
        UnitState original = generateState(5);
        original.userKey = Key{1, 2, 3, 4, 5, 6, 7, 8};
        original.config.note = u"Ő ű č ł – próba"_s;
        original.daily[4].date = {0x24, 0x00, 0x15}; // crafted invalid dates survive
        QTemporaryDir dir;
        const QString path = dir.filePath(u"unit.json"_s);
        QString error;
        QVERIFY2(saveStateFile(original, path, &error), qPrintable(error));
        UnitState loaded;
        QVERIFY2(loadStateFile(path, loaded, &error), qPrintable(error));
        QCOMPARE(loaded.seed, original.seed);
        QVERIFY(loaded.userKey == original.userKey);
        QVERIFY(std::abs(loaded.clock.now().secsTo(original.clock.now())) <= 2);
        for (const auto &[cmd, prm] : someRequests())
            QCOMPARE(replyData(loaded, static_cast<std::uint8_t>(cmd), static_cast<std::uint8_t>(prm)),
                     replyData(original, static_cast<std::uint8_t>(cmd), static_cast<std::uint8_t>(prm)));
        for (std::uint8_t chunk = 1; chunk <= 24; ++chunk)
            QCOMPARE(replyData(loaded, 230, chunk), replyData(original, 230, chunk));
        QCOMPARE(replyData(loaded, 198, 5), replyData(original, 198, 5));
    }

    void craftedFileKeepsTheSeedsValues()
    {
        const QJsonObject json{{u"seed"_s, 9},
                               {u"clock"_s, u"2030-02-03 04:05:06"_s},
                               {u"counters"_s, QJsonObject{{u"cashIn"_s, -1}}}};
        UnitState s;
        QString error;
        QVERIFY2(stateFromJson(json, s, &error), qPrintable(error));
        const UnitState seeded = generateState(9);
        QCOMPARE(replyData(s, 206, 0).left(4), QByteArray(4, '\xFF'));
        QCOMPARE(replyData(s, 206, 0).mid(4), replyData(seeded, 206, 0).mid(4));
        QCOMPARE(replyData(s, 198, 7), replyData(seeded, 198, 7));
        QCOMPARE(replyData(s, 209, 0).left(4), QByteArray::fromHex("30020304"));
    }

    void badFilesAreRefused_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<QString>("message");
        QJsonArray shortDaily = stateToJson(generateState(1)).value(u"daily"_s).toArray();
        shortDaily.removeLast();
        QJsonArray keys = stateToJson(generateState(1)).value(u"keyTable"_s).toArray();
        QJsonArray badKeys = keys;
        badKeys[3] = u"01 02"_s;
        QJsonArray notHexKeys = keys;
        notHexKeys[0] = u"zz 02 03 04 05 06 07 08"_s;
        QJsonArray notObjects = shortDaily;
        notObjects.append(5);
        auto row = [](const char *name, const char *entry, const QJsonValue &v, const char *message) {
            QTest::newRow(name) << QString::fromLatin1(entry) << v << QString::fromLatin1(message);
        };
        row("30 daily records", "daily", shortDaily, "daily: expected an array of 31");
        row("a record not an object", "daily", notObjects, "daily[30]: expected an object");
        row("misspelt entry", "dayly", QJsonArray(), "unknown entry \"dayly\"");
        row("short key", "keyTable", badKeys, "keyTable[3]");
        row("key not hexadecimal", "keyTable", notHexKeys, "hexadecimal");
        row("text too long", "config", QJsonObject{{u"name"_s, QString(65, u'x')}}, "config.name: longer");
        row("text outside the code page", "config", QJsonObject{{u"note"_s, u"日本"_s}}, "code page 1250");
        row("amount beyond 32 bits", "counters", QJsonObject{{u"cashIn"_s, 4294967296.0}}, "counters.cashIn");
        row("fractional amount", "counters", QJsonObject{{u"games"_s, 1.5}}, "counters.games");
        row("amount as text", "counters", QJsonObject{{u"win"_s, u"12"_s}}, "counters.win");
        row("clock out of range", "clock", u"2124-01-01 00:00:00"_s, "clock");
        row("clock not a date", "clock", u"yesterday"_s, "clock");
        row("user key too short", "userKey", u"0102"_s, "userKey");
        row("seed negative", "seed", -4, "seed");
    }
    void badFilesAreRefused()
    {
        QFETCH(QString, entry);
        QFETCH(QJsonValue, value);
        QFETCH(QString, message);
        UnitState s = generateState(2);
        const QByteArray before = replyData(s, 206, 0);
        QString error;
        QVERIFY(!stateFromJson(QJsonObject{{entry, value}}, s, &error));
        QVERIFY2(error.contains(message), qPrintable(error));
        QCOMPARE(replyData(s, 206, 0), before); // untouched
    }

    void brokenFileIsAnErrorNotACrash()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"unit.json"_s);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("{\"seed\": 3, \"daily\": [");
        f.close();
        UnitState s;
        QString error;
        QVERIFY(!loadStateFile(path, s, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!loadStateFile(dir.filePath(u"missing.json"_s), s, &error));

        // Bytes after the object, hidden behind a NUL the JSON parser stops at.
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray("{\"seed\": 3}\n\0{\"seed\": 4}", 24));
        f.close();
        error.clear();
        QVERIFY(!loadStateFile(path, s, &error));
        QVERIFY2(error.contains(u"NUL"_s), qPrintable(error));
    }

    // The parser keeps the last of two equal keys without a word: a crafted unit that says a
    // thing twice is refused, naming the key, and the state stays as it was.
    void keyTwiceIsRefused_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("key"); // empty: the file is taken
        QTest::newRow("at the top") << QByteArray("{\"seed\": 3, \"seed\": 4}") << u"seed"_s;
        QTest::newRow("in an entry") << QByteArray("{\"config\": {\"name\": \"A\", \"name\": \"B\"}}") << u"name"_s;
        QTest::newRow("written as an escape") << QByteArray("{\"seed\": 3, \"s\\u0065ed\": 4}") << u"seed"_s;
        QTest::newRow("the same key in another object")
            << QByteArray("{\"counters\": {\"games\": 5}, \"config\": {\"name\": \"games\"}, \"seed\": 2}") << QString();
    }
    void keyTwiceIsRefused()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, key);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"unit.json"_s);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(json);
        f.close();
        UnitState s = generateState(2);
        const QByteArray before = replyData(s, 206, 0);
        QString error;
        const bool taken = loadStateFile(path, s, &error);
        if (key.isEmpty()) {
            QVERIFY2(taken, qPrintable(error));
            return;
        }
        QVERIFY(!taken);
        QVERIFY2(error.contains(u'"' + key + u"\" appears twice"_s), qPrintable(error));
        QCOMPARE(replyData(s, 206, 0), before);
    }
};

QTEST_APPLESS_MAIN(TestSimState)
#include "tst_simstate.moc"
