// Network line: TCP with poll() deadlines, optionally inside TLS (OpenSSL, driven
// non-blocking so that every wait is a poll with the line's own time-out), optionally a telnet
// session with the COM-PORT option. Chosen over QTcpSocket/QSslSocket because the line's time-out
// model (a total budget per attempt plus a quiet interval after the last byte) is a poll loop
// with absolute deadlines, exactly as on the serial side.

#include "netline.h"

#include "stringtable.h"

#include <QtGlobal>

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <optional>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Quilo::Net {

struct Connection {
    int fd = -1;
    SSL_CTX *ctx = nullptr;
    SSL *ssl = nullptr;
    bool telnet = false;
    bool wantWrite = false; // TLS needs the socket writable before it can read on
    bool certificateAsked = false; // the TLS server asked for a client certificate
    CTelnetDecoder decoder;
    QByteArray pending;     // received data bytes not yet handed out
    // Telnet option state: what we asked for or agreed to, so that we never answer an answer.
    std::array<bool, 256> sentDo{}, sentWill{}, sentDont{}, sentWont{};
    bool remoteBinary = false, localBinary = false, comPortRefused = false, binaryRefused = false;
    std::array<QString, kComPortSettings> answers{};
    std::array<bool, kComPortSettings> answered{};
};

namespace {

using Serial::Failure;
using Serial::OpenResult;

std::int64_t nowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

constexpr std::int64_t msToNs(std::uint64_t ms)
{
    return static_cast<std::int64_t>(ms) * 1000000;
}

// Waits for `events` at most `ns`; returns the revents, 0 on time-out, -1 on error.
int waitFor(int fd, short events, std::int64_t ns)
{
    pollfd p{fd, events, 0};
    const std::int64_t clamped = std::max<std::int64_t>(ns, 0);
    timespec ts{static_cast<time_t>(clamped / 1000000000), static_cast<long>(clamped % 1000000000)};
    for (;;) {
        const int r = ppoll(&p, 1, &ts, nullptr);
        if (r > 0)
            return p.revents;
        if (r == 0)
            return 0;
        if (errno != EINTR)
            return -1;
    }
}

// A write into a socket the server closed raises SIGPIPE; OpenSSL writes with write(), which
// takes no MSG_NOSIGNAL. Held back for this thread while writing, and taken if it came.
class HoldBrokenPipe
{
public:
    HoldBrokenPipe()
    {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        m_wasPending = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_old);
    }
    ~HoldBrokenPipe()
    {
        if (!m_wasPending) {
            const timespec none{0, 0};
            while (sigtimedwait(&m_pipe, nullptr, &none) < 0 && errno == EINTR) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }
    HoldBrokenPipe(const HoldBrokenPipe &) = delete;
    HoldBrokenPipe &operator=(const HoldBrokenPipe &) = delete;

private:
    sigset_t m_pipe{};
    sigset_t m_old{};
    bool m_wasPending = false;
};

QString openSslError()
{
    const unsigned long e = ERR_get_error();
    ERR_clear_error();
    if (e == 0)
        return LoadString(Str::NetErrTlsUnknown);
    char text[256] = {};
    ERR_error_string_n(e, text, sizeof text);
    return QString::fromLatin1(text);
}

// Raw bytes out, whole or not at all within the deadline. False: the connection is gone or
// the deadline passed.
bool sendRaw(Connection &c, const char *data, std::size_t count, std::int64_t deadline)
{
    std::optional<HoldBrokenPipe> hold; // a plain socket's send() takes MSG_NOSIGNAL instead
    if (c.ssl)
        hold.emplace();
    std::size_t sent = 0;
    while (sent < count) {
        if (c.ssl) {
            std::size_t n = 0;
            ERR_clear_error();
            if (SSL_write_ex(c.ssl, data + sent, count - sent, &n) == 1) {
                sent += n;
                continue;
            }
            const int err = SSL_get_error(c.ssl, 0);
            if (err != SSL_ERROR_WANT_READ && err != SSL_ERROR_WANT_WRITE)
                return false;
            const int revents = waitFor(c.fd, err == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline - nowNs());
            if (revents <= 0 || (revents & (POLLERR | POLLNVAL)))
                return false;
            continue;
        }
        const ssize_t n = ::send(c.fd, data + sent, count - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return false;
        const int revents = waitFor(c.fd, POLLOUT, deadline - nowNs());
        if (revents <= 0 || (revents & (POLLERR | POLLHUP | POLLNVAL)))
            return false;
    }
    return true;
}

void sendCommand(Connection &c, std::uint8_t command, std::uint8_t option)
{
    const char bytes[3] = {static_cast<char>(Telnet::kIac), static_cast<char>(command), static_cast<char>(option)};
    sendRaw(c, bytes, 3, nowNs() + msToNs(100));
}

// Option negotiation (RFC 854): we want binary both ways, suppressed go-ahead and COM-PORT;
// everything else is declined, and a request is answered only when it changes something.
void negotiate(Connection &c, CTelnetDecoder::Event event, std::uint8_t option)
{
    using namespace Telnet;
    const bool wanted = option == kBinary || option == kSuppressGoAhead || option == kComPort;
    switch (event) {
    case CTelnetDecoder::Event::Will:
        if (option == kBinary)
            c.remoteBinary = true;
        if (wanted && !c.sentDo[option]) {
            c.sentDo[option] = true;
            sendCommand(c, kDo, option);
        } else if (!wanted && !c.sentDont[option]) {
            c.sentDont[option] = true;
            sendCommand(c, kDont, option);
        }
        break;
    case CTelnetDecoder::Event::Do:
        if (option == kBinary)
            c.localBinary = true;
        if (wanted && !c.sentWill[option]) {
            c.sentWill[option] = true;
            sendCommand(c, kWill, option);
        } else if (!wanted && !c.sentWont[option]) {
            c.sentWont[option] = true;
            sendCommand(c, kWont, option);
        }
        break;
    case CTelnetDecoder::Event::Wont:
    case CTelnetDecoder::Event::Dont:
        if (option == kBinary)
            c.binaryRefused = true;
        if (option == kComPort)
            c.comPortRefused = true;
        break;
    default: break;
    }
}

// A reply arrives in small pieces; a server that holds back its next piece until the last one
// is acknowledged (Nagle) would otherwise wait for our delayed acknowledgement, up to 40 ms a
// piece. Linux falls back to delayed acknowledgements by itself, hence after every receive.
void quickAck(int fd)
{
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
}

// Reads what the socket holds without waiting, decoding telnet into `pending`. Returns the
// number of raw bytes taken, or -1 when the connection is closed, reset or broken.
int pump(Connection &c)
{
    int taken = 0;
    for (;;) {
        std::uint8_t raw[512];
        std::size_t n = 0;
        if (c.ssl) {
            c.wantWrite = false;
            ERR_clear_error();
            if (SSL_read_ex(c.ssl, raw, sizeof raw, &n) != 1) {
                const int err = SSL_get_error(c.ssl, 0);
                if (err == SSL_ERROR_WANT_READ)
                    return taken;
                if (err == SSL_ERROR_WANT_WRITE) {
                    c.wantWrite = true;
                    return taken;
                }
                return -1; // closed (a TLS close or a bare end of the stream) or broken
            }
            quickAck(c.fd);
        } else {
            const ssize_t r = ::recv(c.fd, raw, sizeof raw, MSG_DONTWAIT);
            if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return taken;
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                return -1;
            n = static_cast<std::size_t>(r);
            quickAck(c.fd);
        }
        taken += static_cast<int>(n);
        if (!c.telnet) {
            c.pending.append(reinterpret_cast<const char *>(raw), static_cast<qsizetype>(n));
            continue;
        }
        for (std::size_t i = 0; i < n; ++i) {
            std::uint8_t data = 0;
            const CTelnetDecoder::Event event = c.decoder.feed(raw[i], data);
            if (event == CTelnetDecoder::Event::Data) {
                c.pending.append(static_cast<char>(data));
            } else if (event == CTelnetDecoder::Event::Subnegotiation) {
                const ComPortAnswer answer = CheckComPortAnswer(c.decoder.subnegotiation());
                if (answer.setting >= 0) {
                    c.answered[static_cast<std::size_t>(answer.setting)] = true;
                    c.answers[static_cast<std::size_t>(answer.setting)] = answer.differs;
                }
            } else if (event != CTelnetDecoder::Event::None) {
                negotiate(c, event, c.decoder.option());
            }
        }
    }
}

// Waits until the socket has something for pump() (or TLS may go on), at most until `deadline`.
// False on time-out; true also on a hang-up, which the next pump() reports.
bool waitReadable(Connection &c, std::int64_t deadline)
{
    if (c.ssl && SSL_pending(c.ssl) > 0)
        return true;
    const std::int64_t wait = deadline - nowNs();
    if (wait <= 0)
        return false;
    const int revents = waitFor(c.fd, c.wantWrite ? POLLIN | POLLOUT : POLLIN, wait);
    return revents != 0;
}

void release(Connection *c)
{
    if (!c)
        return;
    if (c->ssl) {
        HoldBrokenPipe hold;
        SSL_shutdown(c->ssl); // a close_notify, so the server sees an orderly end
        SSL_free(c->ssl);
    }
    if (c->ctx)
        SSL_CTX_free(c->ctx);
    if (c->fd >= 0)
        ::close(c->fd);
    delete c;
}

// TCP connect to the first address that takes it, within the deadline.
OpenResult connectTcp(Connection &c, const Address &a, std::int64_t deadline, int timeoutMs)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo *list = nullptr;
    const QByteArray host = a.host.toUtf8();
    const QByteArray service = QByteArray::number(a.port);
    const int gai = getaddrinfo(host.constData(), service.constData(), &hints, &list);
    if (gai != 0) {
        const int err = gai == EAI_SYSTEM ? errno : 0;
        return {Failure::Other, err, // the hint is "check the port", not "check the cable"
                LoadString(Str::NetErrNoHost).arg(a.host, QString::fromLocal8Bit(gai_strerror(gai)))};
    }
    int lastError = ETIMEDOUT;
    for (const addrinfo *ai = list; ai; ai = ai->ai_next) {
        const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        int error = 0;
        if (::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
            error = errno;
            if (error == EINPROGRESS) {
                const int revents = waitFor(fd, POLLOUT, deadline - nowNs());
                socklen_t len = sizeof error;
                if (revents == 0)
                    error = ETIMEDOUT;
                else if (revents < 0 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0)
                    error = errno;
            }
        }
        if (error == 0) {
            // Frames are a few bytes each: sent at once, not held back to fill a packet.
            const int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            quickAck(fd);
            c.fd = fd;
            break;
        }
        ::close(fd);
        lastError = error;
        if (nowNs() >= deadline)
            break;
    }
    freeaddrinfo(list);
    if (c.fd >= 0)
        return {};
    const QString where = u"%1:%2"_s.arg(a.host).arg(a.port);
    if (lastError == ECONNREFUSED)
        return {Failure::Other, lastError, LoadString(Str::NetErrRefused).arg(where)};
    if (lastError == ETIMEDOUT)
        return {Failure::Other, lastError, LoadString(Str::NetErrTimeout).arg(where).arg((timeoutMs + 999) / 1000)};
    return {Failure::Other, lastError, LoadString(Str::NetErrConnect).arg(where, Serial::errorText(lastError))};
}

// With TLS 1.3 the server judges our certificate after our side of the handshake is done: a
// refusal arrives as an alert a moment later. Waited for here, so that it is a refused
// connection (with the server's reason) and not a line lost at the first request.
OpenResult clientCertificateTaken(Connection &c, const Address &a, bool noCertificate)
{
    if (!c.certificateAsked)
        return {};
    if (noCertificate)
        return {Failure::Other, 0, LoadString(Str::NetErrTlsNeedCert).arg(a.host)};
    const std::int64_t verdict = nowNs() + msToNs(300);
    while (waitReadable(c, verdict)) {
        if (pump(c) < 0)
            return {Failure::Other, 0, LoadString(Str::NetErrTlsCertRefused).arg(a.host, openSslError())};
    }
    return {};
}

bool isIpAddress(const QByteArray &host)
{
    in6_addr any{};
    return inet_pton(AF_INET, host.constData(), &any) == 1 || inet_pton(AF_INET6, host.constData(), &any) == 1;
}

OpenResult startTls(Connection &c, const Address &a, const Options &o, std::int64_t deadline)
{
    c.ctx = SSL_CTX_new(TLS_client_method());
    if (!c.ctx)
        return {Failure::Other, 0, LoadString(Str::NetErrTls).arg(a.host, openSslError())};
    SSL_CTX_set_min_proto_version(c.ctx, TLS1_2_VERSION);
    SSL_CTX_set_verify(c.ctx, SSL_VERIFY_PEER, nullptr);
    const bool caLoaded = o.caFile.isEmpty() ? SSL_CTX_set_default_verify_paths(c.ctx) == 1
                                             : SSL_CTX_load_verify_locations(c.ctx, o.caFile.toLocal8Bit().constData(), nullptr) == 1;
    if (!caLoaded)
        return {Failure::Other, 0, LoadString(Str::NetErrTlsFile).arg(o.caFile, openSslError())};
    if (!o.certFile.isEmpty()) {
        const QByteArray cert = o.certFile.toLocal8Bit();
        const QByteArray key = (o.keyFile.isEmpty() ? o.certFile : o.keyFile).toLocal8Bit();
        if (SSL_CTX_use_certificate_chain_file(c.ctx, cert.constData()) != 1)
            return {Failure::Other, 0, LoadString(Str::NetErrTlsFile).arg(o.certFile, openSslError())};
        if (SSL_CTX_use_PrivateKey_file(c.ctx, key.constData(), SSL_FILETYPE_PEM) != 1
            || SSL_CTX_check_private_key(c.ctx) != 1)
            return {Failure::Other, 0,
                    LoadString(Str::NetErrTlsFile).arg(o.keyFile.isEmpty() ? o.certFile : o.keyFile, openSslError())};
    }
    c.ssl = SSL_new(c.ctx);
    if (!c.ssl || SSL_set_fd(c.ssl, c.fd) != 1)
        return {Failure::Other, 0, LoadString(Str::NetErrTls).arg(a.host, openSslError())};
    // Called on a client only when the server asks for a certificate.
    SSL_set_cert_cb(
        c.ssl,
        [](SSL *, void *arg) {
            static_cast<Connection *>(arg)->certificateAsked = true;
            return 1;
        },
        &c);
    // The certificate must name the host the port names: its DNS name, or its IP address.
    const QByteArray host = a.host.toUtf8();
    if (isIpAddress(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(c.ssl), host.constData());
    } else {
        // SSL_set_tlsext_host_name() without the macro's cast: the name the server picks its certificate by
        SSL_ctrl(c.ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name, const_cast<char *>(host.constData()));
        SSL_set1_host(c.ssl, host.constData());
    }
    HoldBrokenPipe hold;
    for (;;) {
        ERR_clear_error();
        const int r = SSL_connect(c.ssl);
        if (r == 1)
            return clientCertificateTaken(c, a, o.certFile.isEmpty());
        const int err = SSL_get_error(c.ssl, r);
        if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) {
            const int revents = waitFor(c.fd, err == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline - nowNs());
            if (revents == 0)
                return {Failure::Other, ETIMEDOUT, LoadString(Str::NetErrTlsSilent).arg(a.host)};
            continue;
        }
        const long verify = SSL_get_verify_result(c.ssl);
        if (verify != X509_V_OK)
            return {Failure::Other, 0,
                    LoadString(Str::NetErrTlsCert).arg(a.host, QString::fromLatin1(X509_verify_cert_error_string(verify)))};
        return {Failure::Other, 0, LoadString(Str::NetErrTls).arg(a.host, openSslError())};
    }
}

// The telnet session's start: binary both ways, COM-PORT, and the unit's line settings; each
// setting answered with the value asked for, or nothing of the unit's data goes out.
OpenResult startComPort(Connection &c, const Address &a, std::int64_t deadline, int timeoutMs)
{
    using namespace Telnet;
    c.telnet = true;
    QByteArray hello;
    for (const std::uint8_t option : {kBinary, kSuppressGoAhead, kComPort}) {
        hello.append(static_cast<char>(kIac)).append(static_cast<char>(kWill)).append(static_cast<char>(option));
        c.sentWill[option] = true;
    }
    for (const std::uint8_t option : {kBinary, kSuppressGoAhead}) {
        hello.append(static_cast<char>(kIac)).append(static_cast<char>(kDo)).append(static_cast<char>(option));
        c.sentDo[option] = true;
    }
    hello += ComPortSettingsRequest();
    if (!sendRaw(c, hello.constData(), static_cast<std::size_t>(hello.size()), deadline))
        return {Failure::Other, 0, LoadString(Str::NetErrClosed).arg(a.host)};
    for (;;) {
        if (pump(c) < 0)
            return {Failure::Other, 0, LoadString(Str::NetErrClosed).arg(a.host)};
        if (c.comPortRefused)
            return {Failure::Unsupported, 0, LoadString(Str::NetErrNoComPort).arg(a.host)};
        if (c.binaryRefused)
            return {Failure::Unsupported, 0, LoadString(Str::NetErrNoBinary).arg(a.host)};
        QStringList differs;
        bool all = true;
        for (int i = 0; i < kComPortSettings; ++i) {
            all = all && c.answered[static_cast<std::size_t>(i)];
            if (!c.answers[static_cast<std::size_t>(i)].isEmpty())
                differs << c.answers[static_cast<std::size_t>(i)];
        }
        if (!differs.isEmpty())
            return {Failure::Unsupported, 0, LoadString(Str::NetErrLineRefused).arg(a.host, differs.join(u", "_s))};
        if (all && c.remoteBinary && c.localBinary)
            break;
        if (!waitReadable(c, deadline))
            return {Failure::Other, ETIMEDOUT, LoadString(Str::NetErrSetupSilent).arg(a.host).arg((timeoutMs + 999) / 1000)};
    }
    c.pending.clear(); // whatever the line said before it was set up is not an answer of ours
    return {};
}

Connection *connectionOf(const Serial::Handle &h)
{
    return h.net;
}

} // namespace

OpenResult open(const Address &address, const Options &options, Serial::Handle &handle)
{
    handle = Serial::Handle{};
    const int timeoutMs = std::clamp(options.connectTimeoutMs, 1, kMaxConnectTimeoutS * 1000);
    const std::int64_t deadline = nowNs() + msToNs(static_cast<std::uint64_t>(timeoutMs));
    auto *c = new Connection;
    OpenResult r = connectTcp(*c, address, deadline, timeoutMs);
    if (r.failure == Failure::None && address.tls)
        r = startTls(*c, address, options, deadline);
    if (r.failure == Failure::None && address.protocol == Protocol::Rfc2217)
        r = startComPort(*c, address, deadline, timeoutMs);
    if (r.failure != Failure::None) {
        release(c);
        return r;
    }
    handle.native = c->fd;
    handle.net = c;
    handle.lowLatency = Serial::LowLatency::NotSupported;
    return {};
}

void close(Serial::Handle &handle)
{
    release(connectionOf(handle));
    handle = Serial::Handle{};
}

std::size_t read(Serial::Handle &handle, std::uint8_t *buffer, std::size_t count, const Serial::Timeouts &timeouts)
{
    Connection *c = connectionOf(handle);
    if (!c || handle.aborted || count == 0)
        return 0;
    const std::int64_t deadline =
        nowNs() + msToNs(timeouts.readTotalConstant + std::uint64_t{timeouts.readTotalMultiplier} * count);
    const std::int64_t interval = msToNs(timeouts.readInterval);
    std::int64_t lastByte = 0;
    std::size_t got = 0;
    for (;;) {
        // Never hand out more than asked: what follows the reply stays for the next read.
        const std::size_t take = std::min(count - got, static_cast<std::size_t>(c->pending.size()));
        if (take > 0) {
            std::memcpy(buffer + got, c->pending.constData(), take);
            c->pending.remove(0, static_cast<qsizetype>(take));
            got += take;
            lastByte = nowNs();
        }
        if (got == count)
            break;
        if (pump(*c) < 0) {
            handle.aborted = true; // closed or reset by the server: a lost line
            break;
        }
        if (!c->pending.isEmpty())
            continue;
        std::int64_t until = deadline;
        if (got > 0 && interval > 0)
            until = std::min(until, lastByte + interval);
        if (!waitReadable(*c, until))
            break;
    }
    // Like a serial line's abort on error: a transfer the connection broke delivers nothing.
    return handle.aborted ? 0 : got;
}

std::size_t write(Serial::Handle &handle, const std::uint8_t *buffer, std::size_t count,
                  const Serial::Timeouts &timeouts)
{
    Connection *c = connectionOf(handle);
    if (!c || handle.aborted || count == 0)
        return 0;
    const std::int64_t deadline =
        nowNs() + msToNs(timeouts.writeTotalConstant + std::uint64_t{timeouts.writeTotalMultiplier} * count);
    const QByteArray wire = c->telnet ? TelnetEscape(buffer, count)
                                      : QByteArray(reinterpret_cast<const char *>(buffer), static_cast<qsizetype>(count));
    if (!sendRaw(*c, wire.constData(), static_cast<std::size_t>(wire.size()), deadline)) {
        handle.aborted = true;
        return 0;
    }
    return count;
}

void flushInput(Serial::Handle &handle)
{
    Connection *c = connectionOf(handle);
    if (!c)
        return;
    if (!handle.aborted && pump(*c) < 0)
        handle.aborted = true;
    c->pending.clear();
}

bool waitForInput(Serial::Handle &handle, int milliseconds)
{
    Connection *c = connectionOf(handle);
    if (!c || handle.aborted)
        return false;
    const std::int64_t deadline = nowNs() + msToNs(static_cast<std::uint64_t>(std::max(0, milliseconds)));
    for (;;) {
        if (!c->pending.isEmpty())
            return true;
        if (pump(*c) < 0) {
            handle.aborted = true;
            return false;
        }
        if (!c->pending.isEmpty())
            return true;
        if (!waitReadable(*c, deadline))
            return false;
    }
}

} // namespace Quilo::Net
