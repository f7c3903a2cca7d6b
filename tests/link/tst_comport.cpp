#include "comport.h"
#include "linemarks.h"
#include "stringtable.h"
#include "ptypeer.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QtTest>

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray bytesOf(const std::uint8_t *p, std::size_t n)
{
    return QByteArray(reinterpret_cast<const char *>(p), static_cast<qsizetype>(n));
}

QByteArray filler(int n)
{
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(static_cast<char>(i + 1));
    return b;
}

} // namespace

class TestComPort : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { CComPort::ClearPortMappings(); }

    // The settings as the driver holds them after Open, read back from the line itself: 9600
    // baud, 8 data bits, no parity, one stop bit, raw both ways, whatever the line had before.
    void lineSettingsAfterOpen()
    {
        PtyPair pty;
        QVERIFY(pty.isValid() && pty.slaveFd() >= 0);
        termios cooked{};
        QCOMPARE(tcgetattr(pty.slaveFd(), &cooked), 0);
        cooked.c_cflag = (cooked.c_cflag & ~CSIZE) | CS7 | PARENB | PARODD | CSTOPB;
        cooked.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
        cooked.c_iflag |= ICRNL | ISTRIP | IXON;
        cooked.c_oflag |= OPOST;
        cfsetispeed(&cooked, B1200);
        cfsetospeed(&cooked, B1200);
        QCOMPARE(tcsetattr(pty.slaveFd(), TCSANOW, &cooked), 0);

        CComPort port(pty.slavePath());
        QCOMPARE(port.Open(), 1);
        termios t{};
        QCOMPARE(tcgetattr(pty.slaveFd(), &t), 0);
        QCOMPARE(cfgetispeed(&t), speed_t(B9600));
        QCOMPARE(cfgetospeed(&t), speed_t(B9600));
        QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(t.c_cflag & (PARENB | CSTOPB), tcflag_t(0));
        QCOMPARE(t.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
        QCOMPARE(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), tcflag_t(0));
        QCOMPARE(t.c_iflag & (ICRNL | ISTRIP | IXON), tcflag_t(0));
        QCOMPARE(t.c_oflag & OPOST, tcflag_t(0));
        QCOMPARE(t.c_iflag & (INPCK | PARMRK), tcflag_t(INPCK | PARMRK)); // line errors marked
    }

    void closedLineDoesNothing()
    {
        CComPort port;
        QCOMPARE(port.IsOpen(), 0);
        QCOMPARE(port.PortName(), u"Com1"_s);
        QElapsedTimer t;
        t.start();
        QCOMPARE(port.Read(12, 3), std::size_t{0});
        QCOMPARE(port.Write(2, 1), std::size_t{0});
        QVERIFY(t.elapsed() < 300); // no time-out was waited for: one read attempt takes 340 ms
        QCOMPARE(port.Close(), 0);
        QVERIFY(!port.InputFollows(10));
    }

    void configureWhileClosedStoresName()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        CComPort::SetPortMapping(u"Com3"_s, pty.slavePath());
        CComPort port;
        QCOMPARE(port.Configure(u"Com3"_s), 1);
        QCOMPARE(port.PortName(), u"Com3"_s);
        QCOMPARE(port.IsOpen(), 0);
        QCOMPARE(port.Open(), 1);
        port.SendBuffer()[0] = 0x5A;
        QCOMPARE(port.Write(1, 1), std::size_t{1});
        QCOMPARE(pty.read(1, 2000), QByteArray("\x5A"));
        QCOMPARE(port.Close(), 1);
        QCOMPARE(port.Close(), 0);
    }

    void configureWhileOpenReopens()
    {
        PtyPair a, b;
        CComPort port(a.slavePath());
        QCOMPARE(port.Open(), 1);
        port.Configure(b.slavePath());
        QCOMPARE(port.IsOpen(), 1);
        port.SendBuffer()[0] = 0x33;
        QCOMPARE(port.Write(1, 1), std::size_t{1});
        QCOMPARE(b.read(1, 2000), QByteArray("\x33"));
        QVERIFY(a.readAvailable(20).isEmpty());

        // A reopen that fails leaves the line closed.
        port.Configure(u"/dev/quilo-no-such-port"_s);
        QCOMPARE(port.IsOpen(), 0);
    }

    // Each reason keeps its own value (the settings refusal is no longer folded into "other")
    // and its own sentence: the command line's hint and the message both hang on it.
    void openFailures_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<quint32>("baud");
        QTest::addColumn<Quilo::Serial::Failure>("code");
        QTest::addColumn<unsigned>("textId");

        using F = Quilo::Serial::Failure;
        QTest::newRow("missing device") << u"/dev/quilo-no-such-port"_s << 9600u << F::NoSuchDevice
                                        << unsigned(Str::PortErrNoDevice);
        QTest::newRow("unmapped name") << u"Com9"_s << 9600u << F::NoSuchDevice << unsigned(Str::PortErrNoDevice);
        QTest::newRow("not a terminal") << u"FILE"_s << 9600u << F::Other << unsigned(Str::PortErrOther);
        QTest::newRow("unsupported baud rate") << u"PTY"_s << 12345u << F::Unsupported
                                               << unsigned(Str::PortErrSettings);
    }

    void openFailures()
    {
        QFETCH(QString, name);
        QFETCH(quint32, baud);
        QFETCH(Quilo::Serial::Failure, code);
        QFETCH(unsigned, textId);
        PtyPair pty;
        QTemporaryFile file;
        QVERIFY(file.open());
        if (name == u"FILE"_s)
            name = file.fileName();
        else if (name == u"PTY"_s)
            name = pty.slavePath();

        CComPort port(name, baud);
        QCOMPARE(port.Open(), 0);
        QCOMPARE(port.IsOpen(), 0);
        QCOMPARE(port.LastError().code, code);
        QVERIFY(port.LastError().message.contains(name));
        // the sentence's longest fixed piece between its placeholders
        QString words;
        for (const QString &piece : LoadString(textId).split(QRegularExpression(u"%\\d"_s)))
            if (piece.trimmed().size() > words.size())
                words = piece.trimmed();
        QVERIFY2(port.LastError().message.contains(words), qPrintable(port.LastError().message));
        QCOMPARE(port.Write(1, 1), std::size_t{0});
    }

    void secondOpenIsBusy()
    {
        PtyPair pty;
        CComPort first(pty.slavePath()), second(pty.slavePath());
        QCOMPARE(first.Open(), 1);
        QCOMPARE(second.Open(), 0);
        QCOMPARE(second.LastError().code, Quilo::Serial::Failure::Busy);
        QVERIFY(!second.LastError().message.isEmpty());
        first.Close();
        QCOMPARE(second.Open(), 1);
        QCOMPARE(second.LastError().code, Quilo::Serial::Failure::None);
    }

    // One attempt ends after 100 + 20 n ms, or 100 ms after the last byte; only an empty
    // attempt is repeated. Bounds are loose: a busy machine can only make things slower.
    void readTiming_data()
    {
        QTest::addColumn<QList<PeerChunk>>("unit");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("tries");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<int>("minMs");
        QTest::addColumn<int>("maxMs");

        QTest::newRow("silent, three attempts") << QList<PeerChunk>{} << 9 << 3 << QByteArray() << 3 * 280 - 20 << 6000;
        QTest::newRow("whole reply") << QList<PeerChunk>{{0, filler(12)}} << 12 << 3 << filler(12) << 0 << 2000;
        QTest::newRow("partial reply is not retried")
            << QList<PeerChunk>{{0, filler(2)}} << 12 << 3 << filler(2) << 90 << 2000;
        QTest::newRow("interval ends a long attempt")
            << QList<PeerChunk>{{0, filler(3)}} << 100 << 1 << filler(3) << 90 << 1500;
        // The gap stays far below the 100 ms interval: a busy machine can only widen it.
        QTest::newRow("short gap keeps reading")
            << QList<PeerChunk>{{0, filler(5)}, {10, filler(5)}} << 10 << 1 << filler(5) + filler(5) << 0 << 2000;
        QTest::newRow("long gap ends the attempt")
            << QList<PeerChunk>{{0, filler(5)}, {250, filler(5)}} << 10 << 3 << filler(5) << 90 << 2000;
        QTest::newRow("count clamped to the buffer")
            << QList<PeerChunk>{{0, filler(120)}} << 500 << 1 << filler(100) << 0 << 3000;
        QTest::newRow("FF and NUL bytes pass unchanged")
            << QList<PeerChunk>{{0, QByteArray::fromHex("ff00ffff7f00")}} << 6 << 1
            << QByteArray::fromHex("ff00ffff7f00") << 0 << 2000;
    }

    void readTiming()
    {
        QFETCH(QList<PeerChunk>, unit);
        QFETCH(int, count);
        QFETCH(int, tries);
        QFETCH(QByteArray, expected);
        QFETCH(int, minMs);
        QFETCH(int, maxMs);

        PtyPair pty;
        CComPort port(pty.slavePath());
        QCOMPARE(port.Open(), 1);
        QElapsedTimer t;
        t.start();
        std::thread feeder = feedLater(pty, unit);
        const std::size_t got = port.Read(static_cast<std::size_t>(count), tries);
        const qint64 ms = t.elapsed();
        feeder.join();
        QCOMPARE(bytesOf(port.ReceiveBuffer(), got), expected);
        QVERIFY2(ms >= minMs && ms <= maxMs, qPrintable(u"%1 ms"_s.arg(ms)));
        QVERIFY(!port.LineAborted());
    }

    void writeClampedToBuffer()
    {
        PtyPair pty;
        CComPort port(pty.slavePath());
        QCOMPARE(port.Open(), 1);
        for (std::size_t i = 0; i < CComPort::kBufferSize; ++i)
            port.SendBuffer()[i] = static_cast<std::uint8_t>(i);
        QCOMPARE(port.Write(1000, 1), CComPort::kBufferSize);
        QCOMPARE(pty.read(200, 2000).size(), qsizetype(CComPort::kBufferSize));
    }

    // A vanished device ends transfers at once instead of waiting out every time-out.
    void hangUpAbortsTransfers()
    {
        PtyPair pty;
        CComPort port(pty.slavePath());
        QCOMPARE(port.Open(), 1);
        pty.closeMaster();
        QElapsedTimer t;
        t.start();
        QCOMPARE(port.Read(12, 3), std::size_t{0});
        QVERIFY(port.LineAborted());
        QCOMPARE(port.Write(2, 1), std::size_t{0});
        QVERIFY(t.elapsed() < 1000);
        QCOMPARE(port.Close(), 1);
        QVERIFY(!port.LineAborted());
    }

    // A pseudo-terminal has no low-latency mode: asking for it is no error and leaves the line
    // as it is set up otherwise (what the slave end has is read through the master).
    void lowLatencyRequestOnAPseudoTerminal()
    {
        PtyPair pty;
        CComPort port(pty.slavePath());
        QCOMPARE(port.LowLatencyMode(), Quilo::Serial::LowLatency::NotOpened);
        for (int round = 0; round < 2; ++round) { // close must leave nothing behind for the next open
            QCOMPARE(port.Open(), 1);
            QCOMPARE(port.LowLatencyMode(), Quilo::Serial::LowLatency::NotSupported);
            termios tio{};
            QCOMPARE(tcgetattr(pty.masterFd(), &tio), 0);
            QCOMPARE(cfgetispeed(&tio), speed_t(B9600));
            QCOMPARE(cfgetospeed(&tio), speed_t(B9600));
            QCOMPARE(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CLOCAL | CREAD), tcflag_t(CS8 | CLOCAL | CREAD));
            QCOMPARE(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), tcflag_t(0));
            QCOMPARE(tio.c_oflag & OPOST, tcflag_t(0));
            QVERIFY(pty.write(filler(4)));
            QCOMPARE(bytesOf(port.ReceiveBuffer(), port.Read(4, 1)), filler(4));
            QCOMPARE(port.Close(), 1);
            QCOMPARE(port.LowLatencyMode(), Quilo::Serial::LowLatency::NotSupported);
        }
    }

    // Only a real serial driver keeps the mode, so this runs only when pointed at a port that
    // may be reconfigured: QUILO_TEST_SERIAL_DEVICE=/dev/ttyUSB0. A second descriptor, opened
    // first, watches the driver's flags; the line settings are put back afterwards.
    void lowLatencyRestoredOnARealPort()
    {
        const QByteArray device = qgetenv("QUILO_TEST_SERIAL_DEVICE");
        if (device.isEmpty())
            QSKIP("needs a serial port: QUILO_TEST_SERIAL_DEVICE=/dev/ttyUSB0");
        const int watch = ::open(device.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        QVERIFY2(watch >= 0, device.constData());
        termios saved{};
        tcgetattr(watch, &saved);
        auto lowLatencyOn = [watch] {
            serial_struct ss{};
            return ioctl(watch, TIOCGSERIAL, &ss) == 0 && (ss.flags & ASYNC_LOW_LATENCY);
        };
        const bool before = lowLatencyOn();
        CComPort port(QString::fromLocal8Bit(device));
        const int opened = port.Open();
        const bool during = lowLatencyOn();
        port.Close();
        const bool after = lowLatencyOn();
        tcsetattr(watch, TCSANOW, &saved);
        ::close(watch);
        QCOMPARE(opened, 1);
        using Quilo::Serial::LowLatency;
        qInfo() << "low-latency mode before" << before << "while open" << during << "after" << after << "mode"
                << int(port.LowLatencyMode());
        QCOMPARE(after, before);
        switch (port.LowLatencyMode()) {
        case LowLatency::Granted: QVERIFY(!before && during); break;
        case LowLatency::AlreadyOn: QVERIFY(before && during); break;
        case LowLatency::NotSupported:
        case LowLatency::Refused: QCOMPARE(during, before); break;
        case LowLatency::NotOpened: QFAIL("the mode was not recorded"); break;
        }
    }

    void lineMarks_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("error");
        QTest::addColumn<bool>("pending");

        QTest::newRow("plain") << QByteArray::fromHex("0102fe") << QByteArray::fromHex("0102fe") << false << false;
        QTest::newRow("doubled FF") << QByteArray::fromHex("ffff01") << QByteArray::fromHex("ff01") << false << false;
        QTest::newRow("split FF") << QByteArray::fromHex("01ff") << QByteArray::fromHex("01") << false << true;
        QTest::newRow("framing error") << QByteArray::fromHex("0aff0041") << QByteArray::fromHex("0a") << true << false;
        QTest::newRow("break") << QByteArray::fromHex("ff0000") << QByteArray() << true << false;
        QTest::newRow("mark cut short") << QByteArray::fromHex("ff00") << QByteArray() << false << true;
        QTest::newRow("lone FF") << QByteArray::fromHex("ff41") << QByteArray() << true << false;
    }

    void lineMarks()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QByteArray, data);
        QFETCH(bool, error);
        QFETCH(bool, pending);
        Quilo::CLineMarkDecoder d;
        QByteArray out;
        bool sawError = false;
        for (char c : raw) {
            std::uint8_t b = 0;
            const auto step = d.feed(static_cast<std::uint8_t>(c), b);
            if (step == Quilo::CLineMarkDecoder::Step::Byte)
                out.append(static_cast<char>(b));
            if (step == Quilo::CLineMarkDecoder::Step::LineError) {
                sawError = true;
                break;
            }
        }
        QCOMPARE(out, data);
        QCOMPARE(sawError, error);
        QCOMPARE(d.pending(), pending);
    }
};

QTEST_GUILESS_MAIN(TestComPort)
#include "tst_comport.moc"
