// Network port names and the telnet codec of RFC 2217 ports, without a network.

#include "netport.h"

#include <QtTest>

using namespace Qt::StringLiterals;
using namespace Quilo::Net;

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (const int v : values)
        out.append(static_cast<char>(v));
    return out;
}

// The decoder's view of a byte stream: data bytes, and each event as "WILL 44", "SB 2c 65 ..."
struct Decoded {
    QByteArray data;
    QStringList events;
};

Decoded decode(CTelnetDecoder &decoder, const QByteArray &wire)
{
    Decoded d;
    for (const char c : wire) {
        std::uint8_t out = 0;
        switch (decoder.feed(static_cast<std::uint8_t>(c), out)) {
        case CTelnetDecoder::Event::None: break;
        case CTelnetDecoder::Event::Data: d.data.append(static_cast<char>(out)); break;
        case CTelnetDecoder::Event::Will: d.events << u"WILL %1"_s.arg(decoder.option()); break;
        case CTelnetDecoder::Event::Wont: d.events << u"WONT %1"_s.arg(decoder.option()); break;
        case CTelnetDecoder::Event::Do: d.events << u"DO %1"_s.arg(decoder.option()); break;
        case CTelnetDecoder::Event::Dont: d.events << u"DONT %1"_s.arg(decoder.option()); break;
        case CTelnetDecoder::Event::Subnegotiation:
            d.events << u"SB "_s + QString::fromLatin1(decoder.subnegotiation().toHex(' '));
            break;
        }
    }
    return d;
}

} // namespace

class TestNetPort : public QObject
{
    Q_OBJECT
private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("canonical"); // or a word of the problem
        QTest::newRow("raw") << u"tcp://venue-7:4001"_s << true << u"tcp://venue-7:4001"_s;
        QTest::newRow("rfc2217 any case") << u"RFC2217://Venue-7:4001/"_s << true << u"rfc2217://Venue-7:4001"_s;
        QTest::newRow("tls") << u"tcp+tls://10.0.0.5:3001"_s << true << u"tcp+tls://10.0.0.5:3001"_s;
        QTest::newRow("rfc2217 tls ipv6") << u" rfc2217+tls://[fe80::1]:2217 "_s << true << u"rfc2217+tls://[fe80::1]:2217"_s;
        QTest::newRow("unknown scheme") << u"telnet://venue:23"_s << false << u"telnet"_s;
        QTest::newRow("no port") << u"tcp://venue-7"_s << false << u"HOST:PORT"_s;
        QTest::newRow("port zero") << u"tcp://venue-7:0"_s << false << u"65535"_s;
        QTest::newRow("port too big") << u"tcp://venue-7:65536"_s << false << u"65535"_s;
        QTest::newRow("port with sign") << u"tcp://venue-7:+40"_s << false << u"65535"_s;
        QTest::newRow("no host") << u"tcp://:4001"_s << false << u"HOST:PORT"_s;
        QTest::newRow("bare ipv6") << u"tcp://fe80::1:4001"_s << false << u"HOST:PORT"_s;
        QTest::newRow("user and path") << u"tcp://me@venue/x:4001"_s << false << u"HOST:PORT"_s;
        QTest::newRow("control character") << u"tcp://ven\u001bue:4001"_s << false << u"HOST:PORT"_s;
    }

    void parse()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QString, canonical);
        QVERIFY(LooksLikeNetworkPort(text));
        const ParsedAddress parsed = ParseAddress(text);
        QCOMPARE(parsed.address.has_value(), ok);
        if (ok)
            QCOMPARE(parsed.address->text(), canonical);
        else
            QVERIFY2(parsed.problem.contains(canonical), qPrintable(parsed.problem));
    }

    void notNetworkNames()
    {
        for (const QString &name : {u"Com2"_s, u"/dev/ttyUSB0"_s, u"venue-7:4001"_s, u""_s})
            QVERIFY2(!LooksLikeNetworkPort(name), qPrintable(name));
    }

    // What the server sends, in pieces as the network may cut it: the data bytes come out
    // whole and in order, every command is seen once.
    void decoder_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("plain") << bytes({0xC6, 0x01, 0x00, 0x0D, 0x0A}) << bytes({0xC6, 0x01, 0x00, 0x0D, 0x0A}) << QStringList();
        QTest::newRow("doubled FF") << bytes({0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x02}) << bytes({0x01, 0xFF, 0xFF, 0x02})
                                    << QStringList();
        QTest::newRow("ser2net greeting")
            << bytes({0xFF, 0xFB, 0x03, 0xFF, 0xFD, 0x03, 0xFF, 0xFB, 0x01, 0xFF, 0xFE, 0x01, 0xFF, 0xFD, 0x00, 0x07})
            << bytes({0x07}) << QStringList{u"WILL 3"_s, u"DO 3"_s, u"WILL 1"_s, u"DONT 1"_s, u"DO 0"_s};
        QTest::newRow("notification between data")
            << bytes({0x11, 0xFF, 0xFA, 0x2C, 0x6B, 0x00, 0xFF, 0xF0, 0x22}) << bytes({0x11, 0x22}) << QStringList{u"SB 2c 6b 00"_s};
        QTest::newRow("FF inside a subnegotiation")
            << bytes({0xFF, 0xFA, 0x2C, 0x65, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xF0}) << QByteArray()
            << QStringList{u"SB 2c 65 00 00 ff"_s};
        QTest::newRow("NOP and go-ahead skipped") << bytes({0xFF, 0xF1, 0x05, 0xFF, 0xF9, 0x06}) << bytes({0x05, 0x06})
                                                  << QStringList();
        QTest::newRow("broken subnegotiation") << bytes({0xFF, 0xFA, 0x2C, 0x01, 0xFF, 0xFB, 0x00, 0x09})
                                               << bytes({0x09}) << QStringList{u"WILL 0"_s};
    }

    void decoder()
    {
        QFETCH(QByteArray, wire);
        QFETCH(QByteArray, data);
        QFETCH(QStringList, events);
        // Whole, and cut at every position: the state carries over.
        for (qsizetype cut = 0; cut <= wire.size(); ++cut) {
            CTelnetDecoder decoder;
            Decoded first = decode(decoder, wire.left(cut));
            const Decoded second = decode(decoder, wire.mid(cut));
            first.data += second.data;
            first.events += second.events;
            QCOMPARE(first.data, data);
            QCOMPARE(first.events, events);
        }
    }

    void decoderBoundsSubnegotiation()
    {
        CTelnetDecoder decoder;
        const Decoded d = decode(decoder, bytes({0xFF, 0xFA, 0x2C}) + QByteArray(100000, '\x01') + bytes({0xFF, 0xF0, 0x33}));
        QCOMPARE(d.data, bytes({0x33}));
        QCOMPARE(decoder.subnegotiation().size(), qsizetype(CTelnetDecoder::kMaxSubnegotiation));
    }

    void escapeDoublesEveryFF()
    {
        const QByteArray frame = bytes({0xD2, 0xFF, 0x00, 0xFF, 0xFF});
        const QByteArray wire = TelnetEscape(reinterpret_cast<const std::uint8_t *>(frame.constData()),
                                             static_cast<std::size_t>(frame.size()));
        QCOMPARE(wire, bytes({0xD2, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}));
        CTelnetDecoder decoder;
        QCOMPARE(decode(decoder, wire).data, frame);
    }

    // The server's answers to the five settings: taken when they echo the request, refused
    // with the value in words when not; notifications are no answers.
    void comPortAnswers_data()
    {
        QTest::addColumn<QByteArray>("sub");
        QTest::addColumn<int>("setting");
        QTest::addColumn<QString>("differs");
        QTest::newRow("9600") << bytes({44, 101, 0, 0, 0x25, 0x80}) << 0 << QString();
        QTest::newRow("19200") << bytes({44, 101, 0, 0, 0x4B, 0x00}) << 0 << u"19200"_s;
        QTest::newRow("baud cut short") << bytes({44, 101, 0, 0}) << 0 << u"00 00"_s;
        QTest::newRow("8 bits") << bytes({44, 102, 8}) << 1 << QString();
        QTest::newRow("7 bits") << bytes({44, 102, 7}) << 1 << u"7"_s;
        QTest::newRow("even parity") << bytes({44, 103, 3}) << 2 << u"3"_s;
        QTest::newRow("two stop bits") << bytes({44, 104, 2}) << 3 << u"2"_s;
        QTest::newRow("no flow control") << bytes({44, 105, 1}) << 4 << QString();
        QTest::newRow("hardware flow control") << bytes({44, 105, 3}) << 4 << u"3"_s;
        QTest::newRow("modem state") << bytes({44, 107, 0x30}) << -1 << QString();
        QTest::newRow("client code") << bytes({44, 1, 0, 0, 0x25, 0x80}) << -1 << QString();
        QTest::newRow("another option") << bytes({24, 101, 1}) << -1 << QString();
    }

    void comPortAnswers()
    {
        QFETCH(QByteArray, sub);
        QFETCH(int, setting);
        QFETCH(QString, differs);
        const ComPortAnswer answer = CheckComPortAnswer(sub);
        QCOMPARE(answer.setting, setting);
        QCOMPARE(answer.differs.isEmpty(), differs.isEmpty());
        QVERIFY2(answer.differs.contains(differs), qPrintable(answer.differs));
    }

    // What goes out asks for exactly what the answers are checked against.
    void requestAsksForTheUnitsLine()
    {
        CTelnetDecoder decoder;
        const Decoded d = decode(decoder, ComPortSettingsRequest());
        QCOMPARE(d.events.size(), kComPortSettings);
        QVERIFY(d.data.isEmpty());
        CTelnetDecoder again;
        for (const char c : ComPortSettingsRequest()) {
            std::uint8_t out = 0;
            if (again.feed(static_cast<std::uint8_t>(c), out) != CTelnetDecoder::Event::Subnegotiation)
                continue;
            QByteArray answer = again.subnegotiation();
            answer[1] = static_cast<char>(answer.at(1) + Telnet::kServerOffset);
            QCOMPARE(CheckComPortAnswer(answer).differs, QString());
        }
    }
};

QTEST_GUILESS_MAIN(TestNetPort)
#include "tst_netport.moc"
