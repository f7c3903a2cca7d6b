// Network line: TCP with poll() deadlines, optionally inside TLS (OpenSSL, driven
// non-blocking so that every wait is a poll with the line's own time-out), optionally a telnet
// session with the COM-PORT option. Chosen over QTcpSocket/QSslSocket because the line's time-out
// model (a total budget per attempt plus a quiet interval after the last byte) is a poll loop
// with absolute deadlines, exactly as on the serial side.

#include "netline.h"

#include "netconnection.h"

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

namespace {

using Serial::Failure;
using Serial::OpenResult;

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

} // namespace

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

namespace {

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
