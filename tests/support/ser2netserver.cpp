#include "ser2netserver.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <csignal>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QString program()
{
    QString found = QStandardPaths::findExecutable(QStringLiteral("ser2net"));
    if (found.isEmpty()) // Debian installs it for root only
        found = QStandardPaths::findExecutable(QStringLiteral("ser2net"),
                                               {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    return found;
}

} // namespace

Ser2NetServer::Ser2NetServer() = default;

Ser2NetServer::~Ser2NetServer()
{
    kill();
}

std::uint16_t Ser2NetServer::freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    std::uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

bool Ser2NetServer::listening(std::uint16_t port)
{
    // "  0: 0100007F:1F90 00000000:0000 0A ..." : local address:port in hex, state 0A = LISTEN
    const QString local = QStringLiteral(":%1").arg(port, 4, 16, QLatin1Char('0')).toUpper();
    for (const char *table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        QFile f{QLatin1String(table)};
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> lines = f.readAll().split('\n');
        for (const QByteArray &line : lines) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() > 3 && fields.at(1).endsWith(local.toLatin1()) && fields.at(3) == "0A")
                return true;
        }
    }
    return false;
}

std::uint16_t Ser2NetServer::start(const QString &ptyPath, Mode mode, const Tls &tls)
{
    kill();
    m_error.clear();
    const QString exe = program();
    if (exe.isEmpty()) {
        m_error = QStringLiteral("ser2net is not installed: run scripts/install-deps.sh (or apt install ser2net)");
        return 0;
    }
    m_dir = std::make_unique<QTemporaryDir>();
    m_mode = mode;
    m_tls = !tls.certFile.isEmpty();
    // A port found free may be taken before ser2net binds it: try a few.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = freePort();
        QString accepter = QStringLiteral("tcp(nodelay),127.0.0.1,%1").arg(m_port);
        if (m_tls)
            accepter = QStringLiteral("ssl(key=%1,cert=%2),").arg(tls.keyFile, tls.certFile) + accepter;
        if (mode == Mode::Rfc2217)
            accepter = QStringLiteral("telnet(rfc2217),") + accepter;
        const QString config = QStringLiteral("%YAML 1.1\n---\n"
                                              "connection: &unit\n"
                                              "  accepter: %1\n"
                                              "  connector: serialdev,%2,9600n81,local\n"
                                              "  options:\n"
                                              "    chardelay: false\n"
                                              "    kickolduser: true\n")
                                   .arg(accepter, ptyPath);
        QFile file(m_dir->filePath(QStringLiteral("ser2net.yaml")));
        if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0) {
            m_error = QStringLiteral("cannot write the ser2net configuration");
            return 0;
        }
        file.close();
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        // Dies with the test, even when the test crashes before the destructor runs.
        m_process->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process->start(exe, {QStringLiteral("-n"), QStringLiteral("-d"), QStringLiteral("-u"), QStringLiteral("-c"),
                               file.fileName(), QStringLiteral("-P"), m_dir->filePath(QStringLiteral("ser2net.pid"))});
        if (!m_process->waitForStarted(10000)) {
            m_error = QStringLiteral("ser2net did not start: %1").arg(m_process->errorString());
            return 0;
        }
        // Loose bound: a busy machine may take its time.
        QDeadlineTimer deadline(15000);
        while (!deadline.hasExpired() && m_process->state() == QProcess::Running && !listening(m_port))
            QThread::msleep(20);
        if (m_process->state() == QProcess::Running && listening(m_port))
            return m_port;
        m_error = QStringLiteral("ser2net did not listen on port %1: %2").arg(m_port).arg(log());
        kill();
    }
    return 0;
}

void Ser2NetServer::stop()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(5000)) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
    }
}

void Ser2NetServer::kill()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

void Ser2NetServer::killFromAnyThread()
{
    // QProcess belongs to the thread that started it; a signal by its id does not.
    if (m_process && m_process->processId() > 0)
        ::kill(static_cast<pid_t>(m_process->processId()), SIGKILL);
}

bool Ser2NetServer::isRunning() const
{
    return m_process && m_process->state() == QProcess::Running;
}

QString Ser2NetServer::url() const
{
    const QString scheme = m_mode == Mode::Rfc2217 ? QStringLiteral("rfc2217") : QStringLiteral("tcp");
    return QStringLiteral("%1%2://127.0.0.1:%3").arg(scheme, m_tls ? QStringLiteral("+tls") : QString()).arg(m_port);
}

QString Ser2NetServer::log() const
{
    return m_process ? QString::fromLocal8Bit(m_process->readAll()) : QString();
}

bool TestCertificates::openssl(const QStringList &arguments, QString *error)
{
    const QString exe = QStandardPaths::findExecutable(QStringLiteral("openssl"));
    if (exe.isEmpty()) {
        *error = QStringLiteral("openssl is not installed: run scripts/install-deps.sh (or apt install openssl)");
        return false;
    }
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setWorkingDirectory(m_dir.path());
    p.start(exe, arguments);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *error = QStringLiteral("openssl %1 failed: %2").arg(arguments.join(QLatin1Char(' ')),
                                                               QString::fromLocal8Bit(p.readAll()));
        return false;
    }
    return true;
}

bool TestCertificates::make(QString *error)
{
    const QStringList ec{QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                         QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
    auto selfSigned = [&](const char *key, const char *cert, const char *name) {
        return openssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ec
                           + QStringList{QStringLiteral("-keyout"), QLatin1String(key), QStringLiteral("-out"),
                                         QLatin1String(cert), QStringLiteral("-days"), QStringLiteral("2"),
                                         QStringLiteral("-subj"), QStringLiteral("/CN=%1").arg(QLatin1String(name))},
                       error);
    };
    auto signedBy = [&](const char *key, const char *cert, const char *name, const char *extension) {
        QFile ext(path("ext.cnf"));
        if (!ext.open(QIODevice::WriteOnly) || ext.write(extension) < 0)
            return false;
        ext.close();
        return openssl(QStringList{QStringLiteral("req")} + ec
                           + QStringList{QStringLiteral("-keyout"), QLatin1String(key), QStringLiteral("-out"),
                                         QStringLiteral("request.csr"), QStringLiteral("-subj"),
                                         QStringLiteral("/CN=%1").arg(QLatin1String(name))},
                       error)
               && openssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), QStringLiteral("request.csr"),
                           QStringLiteral("-CA"), QStringLiteral("ca.pem"), QStringLiteral("-CAkey"), QStringLiteral("ca.key"),
                           QStringLiteral("-CAcreateserial"), QStringLiteral("-out"), QLatin1String(cert),
                           QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-extfile"), QStringLiteral("ext.cnf")},
                          error);
    };
    if (!m_dir.isValid()) {
        *error = QStringLiteral("no temporary folder for the certificates");
        return false;
    }
    return selfSigned("ca.key", "ca.pem", "Quilo test CA") && selfSigned("other.key", "other.pem", "Another CA")
           && signedBy("server.key", "server.pem", "127.0.0.1",
                       "subjectAltName=IP:127.0.0.1,DNS:localhost\nextendedKeyUsage=serverAuth\n")
           && signedBy("client.key", "client.pem", "quilo", "extendedKeyUsage=clientAuth\n")
           && signedBy("elsewhere.key", "elsewhere.pem", "venue-7.example",
                       "subjectAltName=DNS:venue-7.example\nextendedKeyUsage=serverAuth\n");
}
