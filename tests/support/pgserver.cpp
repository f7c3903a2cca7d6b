#include "pgserver.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVersionNumber>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>

namespace {

constexpr char kServerUser[] = "postgres";

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

bool chownTree(const QString &path, uid_t uid, gid_t gid)
{
    std::error_code ec;
    if (::chown(QFile::encodeName(path).constData(), uid, gid) != 0)
        return false;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(QFile::encodeName(path).toStdString(), ec))
        if (::lchown(entry.path().c_str(), uid, gid) != 0)
            return false;
    return !ec;
}

} // namespace

CPgServer::CPgServer() = default;

CPgServer::~CPgServer()
{
    QString ignored;
    if (m_running)
        Stop(&ignored);
}

QString CPgServer::InstallHint()
{
    return QStringLiteral("install the PostgreSQL server: sudo apt-get install postgresql (or make deps)");
}

QString CPgServer::BinaryFolder()
{
    if (qEnvironmentVariableIsSet("QUILO_TEST_PG_BIN")) {
        const QString bin = qEnvironmentVariable("QUILO_TEST_PG_BIN");
        return QFile::exists(bin + QStringLiteral("/pg_ctl")) && QFile::exists(bin + QStringLiteral("/initdb")) ? bin
                                                                                                             : QString();
    }
    QVersionNumber best;
    QString folder;
    for (const QString &v : QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString bin = QStringLiteral("/usr/lib/postgresql/%1/bin").arg(v);
        const QVersionNumber n = QVersionNumber::fromString(v);
        if (QFile::exists(bin + QStringLiteral("/pg_ctl")) && QFile::exists(bin + QStringLiteral("/initdb")) && n > best) {
            best = n;
            folder = bin;
        }
    }
    return folder;
}

bool CPgServer::Run(const QString &program, const QStringList &arguments, QString *error, int timeoutMs)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setWorkingDirectory(m_dir->path());
    const QString exe = m_bin + QLatin1Char('/') + program;
    if (::geteuid() == 0)
        p.start(QStringLiteral("runuser"), QStringList{QStringLiteral("-u"), QLatin1String(kServerUser), QStringLiteral("--"), exe} + arguments);
    else
        p.start(exe, arguments);
    if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *error = program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(p.readAll()).trimmed() + p.errorString();
        if (p.state() != QProcess::NotRunning)
            p.kill();
        p.waitForFinished(5000);
        return false;
    }
    return true;
}

bool CPgServer::Start(QString *error)
{
    if (m_running)
        return true;
    if (!m_initialised) {
        m_bin = BinaryFolder();
        if (m_bin.isEmpty()) {
            *error = QStringLiteral("no PostgreSQL server binaries (initdb, pg_ctl) under /usr/lib/postgresql/*/bin: ")
                     + InstallHint();
            return false;
        }
        m_dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/quilo-pg-XXXXXX"));
        if (!m_dir->isValid()) {
            *error = QStringLiteral("no temporary folder: ") + m_dir->errorString();
            return false;
        }
        QFile pw(m_dir->filePath(QStringLiteral("pw")));
        if (!pw.open(QIODevice::WriteOnly) || pw.write(kPassword) < 0)
            return false;
        pw.close();
        if (::geteuid() == 0) {
            const passwd *user = ::getpwnam(kServerUser);
            if (!user) {
                *error = QStringLiteral("running as root, but there is no user \"postgres\" to run the server as");
                return false;
            }
            if (!chownTree(m_dir->path(), user->pw_uid, user->pw_gid)) {
                *error = QStringLiteral("cannot hand the folder to the user postgres");
                return false;
            }
        }
        if (!Run(QStringLiteral("initdb"),
                 {QStringLiteral("-D"), m_dir->filePath(QStringLiteral("data")), QStringLiteral("-U"), QLatin1String(kUser),
                  QStringLiteral("--pwfile"), m_dir->filePath(QStringLiteral("pw")), QStringLiteral("-A"),
                  QStringLiteral("scram-sha-256"), QStringLiteral("--no-sync"), QStringLiteral("-E"), QStringLiteral("UTF8"),
                  QStringLiteral("--locale=C")},
                 error, 120000))
            return false;
        m_port = freePort();
        m_initialised = true;
    }
    const QString options = QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off -c full_page_writes=off")
                                .arg(m_port)
                                .arg(m_dir->path());
    if (!Run(QStringLiteral("pg_ctl"),
             {QStringLiteral("-D"), m_dir->filePath(QStringLiteral("data")), QStringLiteral("-o"), options, QStringLiteral("-l"),
              m_dir->filePath(QStringLiteral("log")), QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("60"),
              QStringLiteral("start")},
             error)) {
        QFile log(m_dir->filePath(QStringLiteral("log")));
        if (log.open(QIODevice::ReadOnly))
            *error += QStringLiteral("\n") + QString::fromLocal8Bit(log.readAll().right(2000));
        return false;
    }
    m_running = true;
    return true;
}

bool CPgServer::Stop(QString *error)
{
    if (!m_running)
        return true;
    m_running = false;
    return Run(QStringLiteral("pg_ctl"),
               {QStringLiteral("-D"), m_dir->filePath(QStringLiteral("data")), QStringLiteral("-m"), QStringLiteral("fast"),
                QStringLiteral("-w"), QStringLiteral("stop")},
               error);
}

QString CPgServer::Url(const QString &database) const
{
    return QStringLiteral("postgresql://%1:%2@127.0.0.1:%3/%4").arg(QLatin1String(kUser), QLatin1String(kPassword)).arg(m_port).arg(database);
}

bool CPgServer::CreateDatabase(const QString &name, QString *error)
{
    const QString connection = QStringLiteral("pgserver-admin");
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
        db.setHostName(QStringLiteral("127.0.0.1"));
        db.setPort(m_port);
        db.setDatabaseName(QStringLiteral("postgres"));
        db.setUserName(QLatin1String(kUser));
        db.setPassword(QLatin1String(kPassword));
        if (!db.open()) {
            *error = db.lastError().text();
        } else {
            QSqlQuery q(db);
            ok = q.exec(QStringLiteral("CREATE DATABASE \"%1\"").arg(name));
            if (!ok)
                *error = q.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return ok;
}
