// quilo in-process through ser2net (raw, RFC 2217, each also over TLS) in front of the
// simulated unit on a pseudo-terminal: reads byte-exact with a direct read, and every way a
// network port fails said clearly, with nothing read lost and nothing sent where it must not be.

#include "cliapp.h"
#include "comport.h"
#include "netport.h"
#include "ser2netserver.h"
#include "simulatedunit.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <csignal>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace QuiloCli;
using namespace Qt::StringLiterals;

namespace {

struct Run {
    int exit = -1;
    QString out;
    QString err;
};

Run runQuilo(const QStringList &args)
{
    QBuffer out;
    QBuffer err;
    QBuffer in;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    in.open(QIODevice::ReadOnly);
    Run r;
    r.exit = RunCli(args, CCliStreams{&out, &err, &in, false});
    r.out = QString::fromUtf8(out.data());
    r.err = QString::fromUtf8(err.data());
    return r;
}

// The JSON of a read without the port's name, which differs by design.
QByteArray withoutPort(const QString &json)
{
    QJsonObject o = QJsonDocument::fromJson(json.toUtf8()).object();
    o.remove(u"port"_s);
    return QJsonDocument(o).toJson();
}

// A server of the test's own on a loopback port: it accepts and then either says nothing at
// all, or plays an RFC 2217 server that answers the baud rate with 19200. It keeps every byte
// it receives.
class FakeServer
{
public:
    enum class Kind { Silent, WrongBaud };
    explicit FakeServer(Kind kind) : m_kind(kind)
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0
            || ::listen(m_listen, 4) != 0 || ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&a), &len) != 0)
            return;
        port = ntohs(a.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~FakeServer()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_listen);
    }
    QByteArray received() const
    {
        std::lock_guard lock(m_mutex);
        return m_received;
    }
    std::uint16_t port = 0;

private:
    void serve()
    {
        int client = -1;
        while (!m_stop) {
            pollfd p{client < 0 ? m_listen : client, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            if (client < 0) {
                client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
                if (client >= 0 && m_kind == Kind::WrongBaud) {
                    const char answer[] = "\xff\xfb\x00\xff\xfd\x00\xff\xfb\x03\xff\xfd\x2c"
                                          "\xff\xfa\x2c\x65\x00\x00\x4b\x00\xff\xf0"; // 19200
                    ::send(client, answer, sizeof answer - 1, MSG_NOSIGNAL);
                }
                continue;
            }
            char buffer[512];
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0) {
                ::close(client);
                client = -1;
                continue;
            }
            std::lock_guard lock(m_mutex);
            m_received.append(buffer, n);
        }
        if (client >= 0)
            ::close(client);
    }

    Kind m_kind;
    int m_listen = -1;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    QByteArray m_received;
};

// The bytes of a telnet stream that are not option negotiation: what went out as data.
QByteArray telnetData(const QByteArray &wire)
{
    Quilo::Net::CTelnetDecoder decoder;
    QByteArray data;
    for (const char c : wire) {
        std::uint8_t out = 0;
        if (decoder.feed(static_cast<std::uint8_t>(c), out) == Quilo::Net::CTelnetDecoder::Event::Data)
            data.append(static_cast<char>(out));
    }
    return data;
}

QuiloSim::Key keyOf(std::initializer_list<int> values)
{
    QuiloSim::Key key{};
    std::size_t i = 0;
    for (const int v : values)
        key[i++] = static_cast<std::uint8_t>(v);
    return key;
}

} // namespace

class TestNetwork : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void byteExactInEveryMode_data();
    void byteExactInEveryMode();
    void keyModeThroughRfc2217_data();
    void keyModeThroughRfc2217();
    void refusedBeforeAnythingIsSent_data();
    void refusedBeforeAnythingIsSent();
    void lateRepliesNeverTakenForOthers_data();
    void lateRepliesNeverTakenForOthers();
    void silentServerFailsByTheFormula();
    void serverKilledMidRead();
    void clientCertificateWhenAsked();
    void portsSaysWhichAnswer();

private:
    std::unique_ptr<QuiloSim::CSimulatedUnit> m_unit;
    Ser2NetServer m_server;
    TestCertificates m_pki;
    QTemporaryDir m_dir;
};

void TestNetwork::initTestCase()
{
    QString error;
    QVERIFY2(m_pki.make(&error), qPrintable(error));
    QVERIFY(m_dir.isValid());
}

void TestNetwork::init()
{
    Quilo::Net::ClearOptions();
    m_unit = std::make_unique<QuiloSim::CSimulatedUnit>();
    // Key table rows full of 0xFF: the bytes telnet doubles.
    QuiloSim::UnitState s = m_unit->state();
    s.keyTable[0] = keyOf({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    s.keyTable[1] = keyOf({0x00, 0xFF, 0x01, 0xFF, 0xFF, 0x02, 0xFF, 0x00});
    m_unit->setState(s);
    QString error;
    QVERIFY2(m_unit->start(&error), qPrintable(error));
}

void TestNetwork::cleanup()
{
    m_server.kill();
    m_unit.reset();
    Quilo::Net::ClearOptions();
    qunsetenv("QUILO_PORTS");
}

void TestNetwork::byteExactInEveryMode_data()
{
    QTest::addColumn<Ser2NetServer::Mode>("mode");
    QTest::addColumn<bool>("tls");
    QTest::newRow("raw") << Ser2NetServer::Mode::Raw << false;
    QTest::newRow("rfc2217") << Ser2NetServer::Mode::Rfc2217 << false;
    QTest::newRow("raw tls") << Ser2NetServer::Mode::Raw << true;
    QTest::newRow("rfc2217 tls") << Ser2NetServer::Mode::Rfc2217 << true;
}

void TestNetwork::byteExactInEveryMode()
{
    QFETCH(Ser2NetServer::Mode, mode);
    QFETCH(bool, tls);
    const QStringList readAll{u"read"_s, u"all"_s, u"-f"_s, u"json"_s, u"--no-history"_s, u"--ca"_s, m_pki.caFile()};
    const Run direct = runQuilo(readAll + QStringList{u"-p"_s, m_unit->slavePath()});
    QCOMPARE(direct.exit, 0);
    QVERIFY(direct.out.contains(u"\"raw\": \"ffffffffffffffff\""_s)); // the rows above, as read

    const std::uint16_t port = m_server.start(m_unit->slavePath(), mode,
                                              tls ? Ser2NetServer::Tls{m_pki.serverCert(), m_pki.serverKey()}
                                                  : Ser2NetServer::Tls{});
    QVERIFY2(port != 0, qPrintable(m_server.error()));
    const Run net = runQuilo(readAll + QStringList{u"-p"_s, m_server.url()});
    QVERIFY2(net.exit == 0, qPrintable(net.err + m_server.log()));
    QCOMPARE(withoutPort(net.out), withoutPort(direct.out));
}

void TestNetwork::keyModeThroughRfc2217_data()
{
    QTest::addColumn<bool>("tls");
    QTest::newRow("plain: warned") << false;
    QTest::newRow("tls: no warning") << true;
}

// The user key goes out before every request, 0xFF bytes doubled; only a plain port warns.
void TestNetwork::keyModeThroughRfc2217()
{
    QFETCH(bool, tls);
    m_unit->setUserKey(keyOf({0xFF, 0x12, 0xFF, 0xFF, 0x34, 0x56, 0x78, 0xFF}));
    const std::uint16_t port = m_server.start(m_unit->slavePath(), Ser2NetServer::Mode::Rfc2217,
                                              tls ? Ser2NetServer::Tls{m_pki.serverCert(), m_pki.serverKey()}
                                                  : Ser2NetServer::Tls{});
    QVERIFY2(port != 0, qPrintable(m_server.error()));
    const Run r = runQuilo({u"read"_s, u"key-table"_s, u"LAB"_s, u"-f"_s, u"csv"_s, u"-k"_s, u"FF12FFFF345678FF"_s,
                            u"--ca"_s, m_pki.caFile(), u"-p"_s, m_server.url()});
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    QVERIFY(!r.out.contains(u"not read"_s));
    QCOMPARE(r.err.contains(u"crosses the network readable"_s), !tls);
}

// Name not found, nothing listening, a certificate from another CA, a server that refuses the
// line settings: the port does not open, says why, and the unit (or server) saw no data.
void TestNetwork::refusedBeforeAnythingIsSent_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");
    QTest::newRow("name not found") << u"name"_s << u"is not found"_s;
    QTest::newRow("connection refused") << u"refused"_s << u"refused the connection"_s;
    QTest::newRow("certificate of another CA") << u"certificate"_s << u"certificate of 127.0.0.1 is refused"_s;
    QTest::newRow("certificate for another name") << u"hostname"_s << u"certificate of 127.0.0.1 is refused"_s;
    QTest::newRow("line settings refused") << u"settings"_s << u"refused the line settings"_s;
}

void TestNetwork::refusedBeforeAnythingIsSent()
{
    QFETCH(QString, fault);
    QFETCH(QString, message);
    std::unique_ptr<FakeServer> fake;
    QString url;
    QStringList extra;
    if (fault == u"name"_s) {
        url = u"tcp://no-such-host.invalid:4001"_s;
    } else if (fault == u"refused"_s) {
        url = u"tcp://127.0.0.1:%1"_s.arg(Ser2NetServer::freePort());
    } else if (fault == u"settings"_s) {
        fake = std::make_unique<FakeServer>(FakeServer::Kind::WrongBaud);
        url = u"rfc2217://127.0.0.1:%1"_s.arg(fake->port);
    } else {
        // Signed by a CA not given, or by the right CA for another host.
        const bool otherHost = fault == u"hostname"_s;
        const std::uint16_t port = m_server.start(
            m_unit->slavePath(), Ser2NetServer::Mode::Rfc2217,
            {otherHost ? m_pki.otherHostCert() : m_pki.serverCert(), otherHost ? m_pki.otherHostKey() : m_pki.serverKey()});
        QVERIFY2(port != 0, qPrintable(m_server.error()));
        url = m_server.url();
        extra << u"--ca"_s << (otherHost ? m_pki.caFile() : m_pki.otherCaFile());
    }
    const Run r = runQuilo(QStringList{u"read"_s, u"counters"_s, u"--no-history"_s, u"-p"_s, url} + extra);
    QCOMPARE(r.exit, 2);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY2(r.err.contains(u"nothing was sent"_s) || fault == u"name"_s || fault == u"refused"_s, qPrintable(r.err));
    QVERIFY(m_unit->receivedFrames().isEmpty());
    if (fake)
        QCOMPARE(telnetData(fake->received()), QByteArray());
}

void TestNetwork::lateRepliesNeverTakenForOthers_data()
{
    QTest::addColumn<QString>("set");
    QTest::addColumn<QString>("fault");
    QTest::newRow("one record a window late") << u"daily"_s << u"198:5=late:2500,once"_s;
    QTest::newRow("every reply late") << u"yearly"_s << u"any=late:900"_s;
}

// A network adds delay: a reply that comes after its request gave up is dropped (stale input,
// the late-reply rule), never shown as the next record's data.
void TestNetwork::lateRepliesNeverTakenForOthers()
{
    QFETCH(QString, set);
    QFETCH(QString, fault);
    const QStringList read{u"read"_s, set, u"-f"_s, u"csv"_s, u"--no-history"_s, u"-p"_s};
    const Run direct = runQuilo(read + QStringList{m_unit->slavePath()});
    QCOMPARE(direct.exit, 0);
    m_unit->addFault(QuiloSim::parseFault(fault).value());
    QVERIFY2(m_server.start(m_unit->slavePath(), Ser2NetServer::Mode::Raw) != 0, qPrintable(m_server.error()));
    const Run net = runQuilo(read + QStringList{m_server.url()});
    const QStringList rows = direct.out.split(u'\n');
    int taken = 0;
    for (const QString &row : net.out.split(u'\n')) {
        if (!row.endsWith(u",read"_s))
            continue;
        ++taken;
        QVERIFY2(rows.contains(row), qPrintable(row));
    }
    QVERIFY2(taken > 0, qPrintable(net.out));
}

// Accepted and never answered: each record fails by the line's time-outs, the silence rule
// gives the set up, and the whole takes seconds, not minutes.
void TestNetwork::silentServerFailsByTheFormula()
{
    FakeServer silent(FakeServer::Kind::Silent);
    QVERIFY(silent.port != 0);
    QElapsedTimer clock;
    clock.start();
    const Run r = runQuilo({u"read"_s, u"daily"_s, u"-f"_s, u"csv"_s, u"--no-history"_s, u"-p"_s,
                            u"tcp://127.0.0.1:%1"_s.arg(silent.port)});
    QCOMPARE(r.exit, 1);
    static const QRegularExpression empty(u"^\\d+,,,,,,,,[a-z ]+$"_s, QRegularExpression::MultilineOption);
    QVERIFY2(r.out.count(empty) == 31, qPrintable(r.out));
    // At least three records waited their three attempts of 100 + 20 * 29 ms each.
    QVERIFY2(clock.elapsed() >= 3 * 3 * 680 && clock.elapsed() < 60000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!silent.received().isEmpty()); // requests did go out: the server just never answered
}

// The server dies mid-read: a lost line, exit 2, what was read is written, the rest is "not
// read", and no visit is recorded.
void TestNetwork::serverKilledMidRead()
{
    m_unit->setPacing(true); // a read that lasts long enough to be cut
    const std::uint16_t port = m_server.start(m_unit->slavePath(), Ser2NetServer::Mode::Rfc2217);
    QVERIFY2(port != 0, qPrintable(m_server.error()));
    std::thread killer([this] {
        if (m_unit->waitForReceived(40, 60000))
            m_server.killFromAnyThread();
    });
    const QString csv = m_dir.filePath(u"cut.csv"_s);
    const QString history = m_dir.filePath(u"history.sqlite"_s);
    const Run r = runQuilo({u"read"_s, u"all"_s, u"-f"_s, u"csv"_s, u"-o"_s, csv, u"--history"_s, history, u"-p"_s,
                            m_server.url()});
    killer.join();
    QCOMPARE(r.exit, 2);
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString written = QString::fromUtf8(file.readAll());
    // Read before the server died, kept; after it, marked.
    QVERIFY2(written.contains(u"Cash in"_s) && written.count(u",read\n"_s) >= 3, qPrintable(written.left(2000)));
    QVERIFY(written.contains(u",not read\n"_s));
    const Run visits = runQuilo({u"history"_s, u"--history"_s, history});
    QVERIFY2(!visits.out.contains(m_unit->state().config.mfgNo), qPrintable(visits.out));
}

// A server that asks for a client certificate: refused without one (said so, nothing sent),
// taken with the one its CA signed.
void TestNetwork::clientCertificateWhenAsked()
{
    const QString openssl = QStandardPaths::findExecutable(u"openssl"_s);
    QVERIFY2(!openssl.isEmpty(), "openssl is not installed: run scripts/install-deps.sh");
    const std::uint16_t port = Ser2NetServer::freePort();
    QProcess server;
    server.setProcessChannelMode(QProcess::MergedChannels);
    server.start(openssl, {u"s_server"_s, u"-quiet"_s, u"-accept"_s, u"127.0.0.1:%1"_s.arg(port), u"-cert"_s,
                           m_pki.serverCert(), u"-key"_s, m_pki.serverKey(), u"-CAfile"_s, m_pki.caFile(),
                           u"-Verify"_s, u"1"_s, u"-verify_return_error"_s});
    QVERIFY(server.waitForStarted(10000));
    QDeadlineTimer up(15000);
    while (!Ser2NetServer::listening(port) && !up.hasExpired())
        QThread::msleep(20);
    QVERIFY(Ser2NetServer::listening(port));
    const QString url = u"tcp+tls://127.0.0.1:%1"_s.arg(port);

    Quilo::Net::SetOptions({m_pki.caFile(), QString(), QString(), 5000});
    CComPort without(url);
    QCOMPARE(without.Open(), 0);
    QVERIFY2(without.LastError().message.contains(u"asks for a client certificate"_s),
             qPrintable(without.LastError().message));

    Quilo::Net::SetOptions({m_pki.caFile(), m_pki.clientCert(), m_pki.clientKey(), 5000});
    CComPort with(url);
    QVERIFY2(with.Open() == 1, qPrintable(with.LastError().message));
    with.Close();
    server.kill();
    server.waitForFinished(5000);
}

void TestNetwork::portsSaysWhichAnswer()
{
    const std::uint16_t port = m_server.start(m_unit->slavePath(), Ser2NetServer::Mode::Rfc2217);
    QVERIFY2(port != 0, qPrintable(m_server.error()));
    const std::uint16_t nobody = Ser2NetServer::freePort();
    qputenv("QUILO_PORTS", u"Com3=%1;Com7=tcp://127.0.0.1:%2"_s.arg(m_server.url()).arg(nobody).toUtf8());
    const Run r = runQuilo({u"ports"_s});
    QCOMPARE(r.exit, 0);
    const QStringList lines = r.out.section(u"Network ports:"_s, 1).split(u'\n');
    const auto line = [&](const QString &name) {
        for (const QString &l : lines)
            if (l.trimmed().startsWith(name + u' '))
                return l;
        return QString();
    };
    QVERIFY2(line(u"Com3"_s).endsWith(u"answers"_s), qPrintable(r.out));
    QVERIFY2(line(u"Com7"_s).contains(u"does not answer"_s), qPrintable(r.out));
    QVERIFY2(line(u"Com7"_s).contains(u"refused the connection"_s), qPrintable(r.out));
    QVERIFY(m_unit->receivedFrames().isEmpty()); // asking whether it answers reads nothing
}

QTEST_GUILESS_MAIN(TestNetwork)
#include "tst_network.moc"
