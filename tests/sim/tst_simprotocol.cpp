#include "faults.h"
#include "responder.h"
#include "unitgenerator.h"

#include "rawport.h"

#include <QtTest>

using namespace QuiloSim;
using namespace Qt::StringLiterals;

namespace {

const QByteArray kUserKey = QByteArray::fromHex("0123456789ABCDEF");

Key keyOf(const QByteArray &bytes)
{
    Key k{};
    std::copy_n(reinterpret_cast<const std::uint8_t *>(bytes.constData()), k.size(), k.begin());
    return k;
}

QByteArray keyFrame(const QByteArray &key)
{
    return withChecksum(bytesOf({0xCD, 0x00}) + key);
}

} // namespace

class TestSimProtocol : public QObject
{
    Q_OBJECT
private slots:
    // A conversation: frames in, the unit's answers out ("" = silence, "ack" = the frame echoed
    // as a reply, "refused" = complemented command and parameter, "reply" = the data reply).
    void keyMode_data()
    {
        QTest::addColumn<bool>("keyMode");
        QTest::addColumn<QList<QByteArray>>("frames");
        QTest::addColumn<QStringList>("answers");
        const QByteArray daily = bytesOf({0xC6, 0x01});
        const QByteArray right = keyFrame(kUserKey);
        const QByteArray wrong = keyFrame(QByteArray::fromHex("0123456789ABCDEE"));
        const QByteArray write = withChecksum(bytesOf({0xCD, 0x05, 1, 2, 3, 4, 5, 6, 7, 8}));
        const QByteArray clock = QByteArray::fromHex("D2002406151345 96FE");
        using F = QList<QByteArray>;
        using A = QStringList;
        QTest::newRow("key mode off: requests answered") << false << F{daily, daily} << A{u"reply"_s, u"reply"_s};
        QTest::newRow("key mode off: key frame acknowledged") << false << F{wrong, daily} << A{u"ack"_s, u"reply"_s};
        QTest::newRow("unarmed request: silence") << true << F{daily} << A{u""_s};
        QTest::newRow("right key arms one request") << true << F{right, daily, daily} << A{u"ack"_s, u"reply"_s, u""_s};
        QTest::newRow("wrong key refused, nothing armed") << true << F{wrong, daily} << A{u"refused"_s, u""_s};
        QTest::newRow("wrong key disarms") << true << F{right, wrong, daily} << A{u"ack"_s, u"refused"_s, u""_s};
        QTest::newRow("key write needs the key") << true << F{write, right, write} << A{u"refused"_s, u"ack"_s, u"ack"_s};
        QTest::newRow("clock needs no key") << true << F{clock, daily} << A{u"ack"_s, u""_s};
        QTest::newRow("request out of range keeps the arming")
            << true << F{right, bytesOf({0xC6, 0x00}), daily} << A{u"ack"_s, u""_s, u"reply"_s};
    }
    void keyMode()
    {
        QFETCH(bool, keyMode);
        QFETCH(QList<QByteArray>, frames);
        QFETCH(QStringList, answers);
        UnitState s = generateState(4);
        if (keyMode)
            s.userKey = keyOf(kUserKey);
        CResponder unit;
        QStringList got;
        for (const QByteArray &f : frames) {
            const QByteArray a = unit.respond(s, f);
            const QByteArray reply = withChecksum(f.left(2) + replyData(s, static_cast<std::uint8_t>(f[0]), static_cast<std::uint8_t>(f[1])));
            got << (a.isEmpty() ? u""_s
                    : a == withChecksum(f.left(f.size() - 2)) ? u"ack"_s
                    : a == bytesOf({~f[0] & 0xFF, ~f[1] & 0xFF}) ? u"refused"_s
                    : a == reply ? u"reply"_s
                    : QString::fromLatin1(a.toHex(' ')));
        }
        QCOMPARE(got, answers);
    }

    void keyWriteStaysWritten()
    {
        UnitState s = generateState(4);
        CResponder unit;
        const QByteArray key = QByteArray::fromHex("1122334455667788");
        QCOMPARE(unit.respond(s, withChecksum(bytesOf({0xCD, 192}) + key)), withChecksum(bytesOf({0xCD, 192}) + key));
        QCOMPARE(unit.respond(s, bytesOf({0xCB, 192})), withChecksum(bytesOf({0xCB, 192}) + key));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(s.keyTable[191].data()), 8), key);
    }

    void badChecksumIsRefusedAndChangesNothing()
    {
        UnitState s = generateState(4);
        const QByteArray before = replyData(s, 0xCB, 7);
        QByteArray frame = withChecksum(bytesOf({0xCD, 7, 9, 9, 9, 9, 9, 9, 9, 9}));
        frame[10] = static_cast<char>(frame[10] + 1);
        CResponder unit;
        QCOMPARE(unit.respond(s, frame), bytesOf({0x32, 0xF8}));
        QCOMPARE(replyData(s, 0xCB, 7), before);
    }

    void clockSetting_data()
    {
        QTest::addColumn<QByteArray>("bcd");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("2024-06-15 13:45") << QByteArray::fromHex("2406151345") << true;
        QTest::newRow("leap day") << QByteArray::fromHex("2402291200") << true;
        QTest::newRow("no leap day") << QByteArray::fromHex("2302291200") << false;
        QTest::newRow("month 13") << QByteArray::fromHex("2413011200") << false;
        QTest::newRow("month 0") << QByteArray::fromHex("2400011200") << false;
        QTest::newRow("hour 24") << QByteArray::fromHex("2406152400") << false;
        QTest::newRow("not BCD") << QByteArray::fromHex("24061512 3A") << false;
    }
    void clockSetting()
    {
        QFETCH(QByteArray, bcd);
        QFETCH(bool, accepted);
        UnitState s = generateState(4);
        const QByteArray clockBefore = replyData(s, 0xD1, 0);
        const QByteArray frame = withChecksum(bytesOf({0xD2, 0x00}) + bcd);
        CResponder unit;
        const QByteArray answer = unit.respond(s, frame);
        if (!accepted) {
            QCOMPARE(answer, bytesOf({0x2D, 0xFF}));
            QCOMPARE(replyData(s, 0xD1, 0).left(4), clockBefore.left(4));
            return;
        }
        QCOMPARE(answer, frame); // echoed as the same-length answer
        QCOMPARE(replyData(s, 0xD1, 0), bcd);
        // The change is the newest date modification.
        QCOMPARE(replyData(s, 0xE0, 1).mid(5), bcd);
        QCOMPARE(replyData(s, 0xE0, 1).left(3), clockBefore.left(3));
    }

    void parseFaults_data()
    {
        QTest::addColumn<QString>("faultText");
        QTest::addColumn<QString>("normalised"); // empty: refused
        auto row = [](const char *faultText, const char *norm) { QTest::newRow(faultText) << QString::fromLatin1(faultText) << QString::fromLatin1(norm); };
        row("198:5=checksum", "198:5=checksum");
        row("any=late:500", "any=late:500");
        row("0xC6=two,once", "198=two,once");
        row("205:0=refuse", "205:0=refuse");
        row("any=length", "any=length");
        row("any=length:+3", "any=length:3");
        row("any=length:-5", "any=length:-5");
        row("any=garbage:7", "any=garbage:7");
        row("198=gap:40", "198=gap:40");
        row("any=drop:3", "any=drop:3");
        row("any=silent", "any=silent");
        row("any=late", "");
        row("any=gap", "");
        row("198", "");
        row("300=silent", "");
        row("198:1:2=silent", "");
        row("198=explode", "");
        row("198=silent,twice", "");
        row("198=late:-1", "");
        row("x=silent", "");
        row("", "");
    }
    void parseFaults()
    {
        QFETCH(QString, faultText);
        QFETCH(QString, normalised);
        QString error;
        const auto f = parseFault(faultText, &error);
        QCOMPARE(f ? faultToString(*f) : QString(), normalised);
        QCOMPARE(error.isEmpty(), f.has_value());
    }

    void applyFaults_data()
    {
        QTest::addColumn<QString>("faultText");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<int>("gapAfter");
        const QByteArray good = withChecksum(QByteArray::fromHex("C6 01 0102030405"));
        QByteArray badSum = good;
        badSum[7] = static_cast<char>(badSum[7] + 1);
        QTest::newRow("none") << QString() << good << 0 << -1;
        QTest::newRow("silent") << u"any=silent"_s << QByteArray() << 0 << -1;
        QTest::newRow("two") << u"any=two"_s << bytesOf({0xC6, 0x01}) << 0 << -1;
        QTest::newRow("one short") << u"any=length"_s << good.left(8) << 0 << -1;
        QTest::newRow("all but one short") << u"any=length:-8"_s << good.left(1) << 0 << -1;
        QTest::newRow("more than all short") << u"any=length:-200"_s << QByteArray() << 0 << -1;
        QTest::newRow("checksum") << u"any=checksum"_s << badSum << 0 << -1;
        QTest::newRow("late") << u"any=late:250"_s << good << 250 << -1;
        QTest::newRow("refuse") << u"any=refuse"_s << bytesOf({0x39, 0xFE}) << 0 << -1;
        QTest::newRow("gap in the middle") << u"any=gap:80"_s << good << 0 << 3;
    }
    void applyFaults()
    {
        QFETCH(QString, faultText);
        QFETCH(QByteArray, bytes);
        QFETCH(int, delayMs);
        QFETCH(int, gapAfter);
        std::mt19937 random(1);
        const QByteArray good = withChecksum(QByteArray::fromHex("C6 01 0102030405"));
        const Transmission t = applyFault(faultText.isEmpty() ? std::nullopt : parseFault(faultText), good, 0xC6, 0x01, random);
        QCOMPARE(t.bytes.toHex(' '), bytes.toHex(' '));
        QCOMPARE(t.delayMs, delayMs);
        QCOMPARE(t.gapAfter, gapAfter);
        QVERIFY(!t.dropLine);
    }

    void garbageAndLongerAnswers()
    {
        std::mt19937 random(1);
        const QByteArray good = withChecksum(QByteArray::fromHex("C6 01 0102030405"));
        const Transmission g = applyFault(parseFault(u"any=garbage"_s), good, 0xC6, 1, random);
        QCOMPARE(g.bytes.size(), good.size());
        QVERIFY(g.bytes != good);
        QCOMPARE(applyFault(parseFault(u"any=garbage:3"_s), good, 0xC6, 1, random).bytes.size(), 3);
        const Transmission longer = applyFault(parseFault(u"any=length:2"_s), good, 0xC6, 1, random);
        QCOMPARE(longer.bytes.left(good.size()), good);
        QCOMPARE(longer.bytes.size(), good.size() + 2);
    }

    void faultTableChoosesAndCounts()
    {
        CFaultTable table;
        table.add(*parseFault(u"any=silent"_s));
        table.add(*parseFault(u"198=two"_s));
        table.add(*parseFault(u"198:3=checksum,once"_s));
        table.add(*parseFault(u"209=drop:2"_s));
        auto kind = [&](int cmd, int prm) {
            const auto f = table.take(static_cast<std::uint8_t>(cmd), static_cast<std::uint8_t>(prm));
            return f ? faultToString(*f) : u"none"_s;
        };
        QCOMPARE(kind(206, 0), u"any=silent"_s);
        QCOMPARE(kind(198, 1), u"198=two"_s);
        QCOMPARE(kind(198, 3), u"198:3=checksum,once"_s);
        QCOMPARE(kind(198, 3), u"198=two"_s); // once is used up
        QCOMPARE(kind(209, 0), u"none"_s);    // two frames still answered
        QCOMPARE(kind(209, 0), u"none"_s);
        QCOMPARE(kind(209, 0), u"209=drop:2"_s);
        table.clear();
        QCOMPARE(kind(206, 0), u"none"_s);
    }
};

QTEST_APPLESS_MAIN(TestSimProtocol)
#include "tst_simprotocol.moc"
