#pragma once
// What the network line's parts share: the connection's state and the poll-based waits. For
// netline*.cpp only.

#include "linewait.h"
#include "netport.h"
#include "serialbackend.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <openssl/ssl.h>
#include <poll.h>
#include <pthread.h>
#include <time.h>

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

using Serial::msToNs;
using Serial::nowNs;
using Serial::waitFor;

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

// Reads what the socket holds without waiting, decoding telnet into `pending`. Returns the
// number of raw bytes taken, or -1 when the connection is closed, reset or broken.
int pump(Connection &c);
// Waits until the socket has something for pump() (or TLS may go on), at most until `deadline`.
bool waitReadable(Connection &c, std::int64_t deadline);

// OpenSSL's words for its last error.
QString openSslError();
// The TLS handshake on the connected socket, the server's certificate checked against the
// options' CA (or the system's) and the host the address names.
Serial::OpenResult startTls(Connection &c, const Address &a, const Options &o, std::int64_t deadline);

} // namespace Quilo::Net
