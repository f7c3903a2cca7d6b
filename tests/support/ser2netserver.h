#pragma once
// Debian's ser2net in front of a pseudo-terminal, as a venue's serial device server: started
// in the foreground with a configuration of the test's own on a free loopback port, stopped
// (or killed, to lose the line mid-read) by the test and at the latest by the destructor; the
// child also dies with the test process. Without ser2net start() fails with a message that
// says how to install it.
//
// TestCertificates makes a CA, a server certificate for 127.0.0.1 and localhost, a client
// certificate and an unrelated second CA with the openssl program, for the TLS modes.

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>

class Ser2NetServer
{
public:
    enum class Mode { Raw, Rfc2217 };
    struct Tls {
        QString certFile; // empty: no TLS
        QString keyFile;
    };

    Ser2NetServer();
    ~Ser2NetServer();
    Ser2NetServer(const Ser2NetServer &) = delete;
    Ser2NetServer &operator=(const Ser2NetServer &) = delete;

    // Serves `ptyPath` (9600 8N1); returns the TCP port, 0 on failure (see error()).
    std::uint16_t start(const QString &ptyPath, Mode mode, const Tls &tls = {});
    void stop(); // SIGTERM, then waits
    void kill(); // SIGKILL: the connections break as a crashed or unplugged server's would
    void killFromAnyThread(); // the same without waiting, for a thread that watches the unit
    bool isRunning() const;
    // The port name that reaches it: "rfc2217+tls://127.0.0.1:PORT" ...
    QString url() const;
    QString error() const { return m_error; }
    QString log() const; // what ser2net printed

    // A loopback port nothing listens on (bound and released again).
    static std::uint16_t freePort();
    // True when something listens on 127.0.0.1:port (read from /proc/net/tcp).
    static bool listening(std::uint16_t port);

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QProcess> m_process;
    Mode m_mode = Mode::Raw;
    bool m_tls = false;
    std::uint16_t m_port = 0;
    QString m_error;
};

class TestCertificates
{
public:
    bool make(QString *error);
    QString caFile() const { return path("ca.pem"); }
    QString serverCert() const { return path("server.pem"); }
    QString serverKey() const { return path("server.key"); }
    QString clientCert() const { return path("client.pem"); }
    QString clientKey() const { return path("client.key"); }
    QString otherCaFile() const { return path("other.pem"); } // signed nothing of the above
    QString otherHostCert() const { return path("elsewhere.pem"); } // the CA's, for another host
    QString otherHostKey() const { return path("elsewhere.key"); }

private:
    QString path(const char *name) const { return m_dir.filePath(QLatin1String(name)); }
    bool openssl(const QStringList &arguments, QString *error);
    QTemporaryDir m_dir;
};
