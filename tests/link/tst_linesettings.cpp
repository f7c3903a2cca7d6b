// The line settings as the driver gets them. A pseudo-terminal keeps neither parity nor stop
// bits, so the tests that open a line cannot see a wrong one: the mapping is checked here on
// its own, and with the settings the engine asks for.

#include "engine.h"
#include "serialtermios.h"

#include <QtTest>

#include <cstring>

using namespace Quilo;

namespace {

constexpr tcflag_t kFrameBits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;

// What the driver might hold before the open: a cooked 7O2 line at 1200 baud with hardware
// flow control.
termios cookedLine()
{
    termios t{};
    t.c_cflag = CS7 | PARENB | PARODD | CSTOPB | CRTSCTS;
    t.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    t.c_iflag = ICRNL | ISTRIP | IXON | IGNPAR;
    t.c_oflag = OPOST;
    cfsetispeed(&t, B1200);
    cfsetospeed(&t, B1200);
    return t;
}

} // namespace

class TestLineSettings : public QObject
{
    Q_OBJECT
private slots:
    void mapping_data()
    {
        QTest::addColumn<uint>("baud");
        QTest::addColumn<int>("byteSize");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("stopBits");
        QTest::addColumn<bool>("carried");
        QTest::addColumn<uint>("speed");
        QTest::addColumn<uint>("frame"); // the c_cflag bits of kFrameBits

        auto row = [](const char *name, uint baud, int size, int parity, int stop, uint speed, uint frame) {
            QTest::newRow(name) << baud << size << parity << stop << true << speed << frame;
        };
        row("9600 8N1", 9600, 8, 0, 0, B9600, CS8);
        row("odd parity", 9600, 8, 1, 0, B9600, CS8 | PARENB | PARODD);
        row("even parity", 9600, 7, 2, 0, B9600, CS7 | PARENB);
        row("mark parity", 9600, 8, 3, 0, B9600, CS8 | PARENB | PARODD | CMSPAR);
        row("space parity", 9600, 8, 4, 0, B9600, CS8 | PARENB | CMSPAR);
        row("two stop bits", 9600, 8, 0, 2, B9600, CS8 | CSTOPB);
        row("five bits, one and a half stop bits", 1200, 5, 0, 1, B1200, CS5 | CSTOPB);
        row("six bits", 4800, 6, 0, 0, B4800, CS6);
        row("fastest", 921600, 8, 0, 0, B921600, CS8);
        row("slowest", 50, 8, 0, 0, B50, CS8);

        auto refused = [](const char *name, uint baud, int size, int parity, int stop) {
            QTest::newRow(name) << baud << size << parity << stop << false << 0u << 0u;
        };
        refused("one and a half stop bits with eight", 9600, 8, 0, 1);
        refused("no such speed", 9601, 8, 0, 0);
        refused("nine data bits", 9600, 9, 0, 0);
        refused("four data bits", 9600, 4, 0, 0);
        refused("parity 5", 9600, 8, 5, 0);
        refused("stop bits 3", 9600, 8, 0, 3);
    }

    void mapping()
    {
        QFETCH(uint, baud);
        QFETCH(int, byteSize);
        QFETCH(int, parity);
        QFETCH(int, stopBits);
        QFETCH(bool, carried);
        QFETCH(uint, speed);
        QFETCH(uint, frame);

        Serial::LineSettings s;
        s.baudRate = baud;
        s.byteSize = static_cast<std::uint8_t>(byteSize);
        s.parity = static_cast<std::uint8_t>(parity);
        s.stopBits = static_cast<std::uint8_t>(stopBits);
        const termios before = cookedLine();
        termios t = before;
        QCOMPARE(Serial::toTermios(s, t), carried);
        if (!carried) {
            QVERIFY(std::memcmp(&t, &before, sizeof t) == 0);
            return;
        }
        QCOMPARE(cfgetispeed(&t), speed_t(speed));
        QCOMPARE(cfgetospeed(&t), speed_t(speed));
        QCOMPARE(t.c_cflag & kFrameBits, tcflag_t(frame));
        QCOMPARE(t.c_cflag & (CLOCAL | CREAD | CRTSCTS), tcflag_t(CLOCAL | CREAD | CRTSCTS));
        QCOMPARE(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), tcflag_t(0));
        QCOMPARE(t.c_iflag & (ICRNL | ISTRIP | IXON | IGNPAR), tcflag_t(0));
        QCOMPARE(t.c_iflag & (INPCK | PARMRK), tcflag_t(INPCK | PARMRK));
        QCOMPARE(t.c_oflag & OPOST, tcflag_t(0));
        QCOMPARE(int(t.c_cc[VMIN]), 1);
        QCOMPARE(int(t.c_cc[VTIME]), 0);
    }

    // The unit speaks 9600 baud, 8 data bits, no parity, one stop bit, on whatever port.
    void engineAsksFor9600_8N1_data()
    {
        QTest::addColumn<QString>("port");
        QTest::newRow("as built") << QString();
        QTest::newRow("Com2") << QStringLiteral("Com2");
        QTest::newRow("a path") << QStringLiteral("/dev/ttyUSB0");
    }

    void engineAsksFor9600_8N1()
    {
        QFETCH(QString, port);
        CEngine engine;
        if (!port.isEmpty())
            engine.SetPort(port);
        const Serial::LineSettings &s = engine.Port().Settings();
        QCOMPARE(s.baudRate, 9600u);
        QCOMPARE(int(s.byteSize), 8);
        QCOMPARE(int(s.parity), 0);
        QCOMPARE(int(s.stopBits), 0);
        QCOMPARE(s.access, CComPort::kAccessReadWrite);
        QCOMPARE(s.share, 0u); // nobody else on the line while we read
        termios t = cookedLine();
        QVERIFY(Serial::toTermios(s, t));
        QCOMPARE(cfgetospeed(&t), speed_t(B9600));
        QCOMPARE(t.c_cflag & kFrameBits, tcflag_t(CS8));
    }
};

QTEST_GUILESS_MAIN(TestLineSettings)
#include "tst_linesettings.moc"
