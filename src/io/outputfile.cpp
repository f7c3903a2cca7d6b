#include "outputfile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QtGlobal>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Quilo {

namespace {

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

// A stream this process already holds (/dev/stdout, /dev/fd/1, /proc/self/fd/1): written
// through its own descriptor, so a shell's ">>" keeps appending and nothing is truncated.
int ownDescriptor(const QString &path)
{
    if (path == QLatin1String("/dev/stdout"))
        return 1;
    if (path == QLatin1String("/dev/stderr"))
        return 2;
    static const QRegularExpression fdPath(QStringLiteral("^/(?:dev|proc/self)/fd/(\\d{1,6})$"));
    const QRegularExpressionMatch m = fdPath.match(path);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// Anything under /dev or /proc is the system's, never a file to replace.
bool systemPath(const QString &absolute)
{
    return absolute.startsWith(QLatin1String("/dev/")) || absolute.startsWith(QLatin1String("/proc/"));
}

// A write into a FIFO or socket whose reader has gone raises SIGPIPE, which would end the
// whole program: hold it back for this thread while writing and take it if it came.
class CHoldBrokenPipe
{
public:
    CHoldBrokenPipe()
    {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        m_wasPending = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe, &m_old);
    }
    ~CHoldBrokenPipe()
    {
        if (m_raised && !m_wasPending) {
            sigset_t pipe;
            sigemptyset(&pipe);
            sigaddset(&pipe, SIGPIPE);
            const timespec none{0, 0};
            while (sigtimedwait(&pipe, nullptr, &none) < 0 && errno == EINTR) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }
    void raised() { m_raised = true; }

private:
    sigset_t m_old;
    bool m_wasPending = false;
    bool m_raised = false;
};

// The temporary files that exist now, for a signal handler to remove: fixed slots of plain
// bytes, claimed and freed with lock-free atomics, since a handler may neither lock nor
// allocate. A path too long or a list full only means that file may be left behind.
constexpr int kSlots = 32;
constexpr std::size_t kPathBytes = 4096;
enum SlotState : int { SlotFree, SlotFilling, SlotLive };
struct LiveTemporary {
    std::atomic<int> state{SlotFree};
    char path[kPathBytes];
};
static_assert(std::atomic<int>::is_always_lock_free);
LiveTemporary g_live[kSlots];

int rememberTemporary(const QByteArray &path)
{
    if (path.size() >= static_cast<qsizetype>(kPathBytes))
        return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = SlotFree;
        if (!g_live[i].state.compare_exchange_strong(expected, SlotFilling))
            continue;
        std::memcpy(g_live[i].path, path.constData(), static_cast<std::size_t>(path.size()) + 1);
        g_live[i].state.store(SlotLive);
        return i;
    }
    return -1;
}

extern "C" void leaveOnSignal(int signal)
{
    const int savedErrno = errno;
    for (LiveTemporary &t : g_live)
        if (t.state.load() == SlotLive)
            ::unlink(t.path);
    // SA_RESETHAND has put the default action back: raised again, the signal ends the program
    // as soon as this handler returns, with the status a shell expects of it.
    ::raise(signal);
    errno = savedErrno;
}

constexpr int kFatalSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGTERM};

// Signals whose default action ends the program, taken over where nobody else handles them.
void cleanUpOnDefaultSignals()
{
    for (const int signal : kFatalSignals) {
        struct sigaction now {};
        if (::sigaction(signal, nullptr, &now) == 0 && !(now.sa_flags & SA_SIGINFO) && now.sa_handler == SIG_DFL)
            InstallExitCleanup(signal);
    }
}

} // namespace

void InstallExitCleanup(int signal)
{
    struct sigaction action {};
    action.sa_handler = leaveOnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    ::sigaction(signal, &action, nullptr);
}

COutputFile::COutputFile(const QString &path) : m_path(path) {}

COutputFile::~COutputFile()
{
    if (!m_done)
        Discard();
}

QString COutputFile::errorString() const
{
    return m_error ? qt_error_string(m_error) : QString();
}

bool COutputFile::fail(int error)
{
    m_error = error ? error : EIO;
    return false;
}

bool COutputFile::Open()
{
    if (m_fd >= 0)
        return true;
    m_error = 0;
    m_done = false;
    if (m_path.isEmpty())
        return fail(ENOENT);
    if (m_path == QLatin1String("-"))
        return openDirect(1);
    const QString absolute = QFileInfo(m_path).absoluteFilePath();
    if (const int own = ownDescriptor(absolute); own >= 0)
        return openDirect(own);

    struct stat st {};
    if (::stat(native(absolute).constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return fail(EISDIR);
        if (!S_ISREG(st.st_mode) || systemPath(absolute))
            return openDirect(-1);
        // A regular file, perhaps behind links: replace the file itself, keep the links.
        m_target = QFileInfo(absolute).canonicalFilePath();
        if (m_target.isEmpty())
            return fail(errno);
        // A read-only file stays read-only, although its folder would let us replace it.
        if (::access(native(m_target).constData(), W_OK) != 0)
            return fail(errno);
        m_kind = Kind::RegularFile;
        return openTemporary(static_cast<int>(st.st_mode & 07777), st.st_uid, st.st_gid);
    }
    if (errno != ENOENT)
        return fail(errno);
    m_target = absolute;
    struct stat link {};
    if (::lstat(native(absolute).constData(), &link) == 0 && S_ISLNK(link.st_mode))
        m_target = QFileInfo(absolute).symLinkTarget(); // a link to a file still to be made
    if (systemPath(m_target))
        return fail(ENOENT); // nothing new is made among the system's devices
    m_kind = Kind::NewFile;
    return openTemporary(-1, -1, -1);
}

bool COutputFile::openDirect(int duplicateOf)
{
    m_kind = Kind::Direct;
    m_target.clear();
    if (duplicateOf >= 0)
        m_fd = ::fcntl(duplicateOf, F_DUPFD_CLOEXEC, 3);
    else
        m_fd = ::open(native(m_path).constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    return m_fd >= 0 || fail(errno);
}

bool COutputFile::openTemporary(int mode, long long owner, long long group)
{
    const QFileInfo target(m_target);
    const QString stem = target.absolutePath() + QStringLiteral("/.") + target.fileName() + QStringLiteral(".");
    cleanUpOnDefaultSignals();
    // No signal on this thread between making the file and listing it for removal.
    sigset_t fatal;
    sigset_t before;
    sigemptyset(&fatal);
    for (const int signal : kFatalSignals)
        sigaddset(&fatal, signal);
    pthread_sigmask(SIG_BLOCK, &fatal, &before);
    const auto unblock = qScopeGuard([&before] { pthread_sigmask(SIG_SETMASK, &before, nullptr); });
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_temporary = stem + QString::number(QRandomGenerator::global()->generate(), 36) + QStringLiteral(".tmp");
        m_fd = ::open(native(m_temporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (m_fd >= 0) {
            m_slot = rememberTemporary(native(m_temporary));
            break;
        }
        if (errno != EEXIST) {
            const int error = errno;
            m_temporary.clear();
            m_kind = Kind::Unknown;
            return fail(error);
        }
    }
    if (m_fd < 0) {
        m_temporary.clear();
        return fail(EEXIST);
    }
    if (mode >= 0) {
        // The replacement looks like the file it replaces (the owner only where we may).
        if (owner >= 0 && ::fchown(m_fd, static_cast<uid_t>(owner), static_cast<gid_t>(group)) != 0)
            (void)::fchown(m_fd, static_cast<uid_t>(-1), static_cast<gid_t>(group));
        (void)::fchmod(m_fd, static_cast<mode_t>(mode));
    }
    return true;
}

bool COutputFile::Write(const QByteArray &data)
{
    if (m_fd < 0)
        return m_error ? false : fail(EBADF);
    CHoldBrokenPipe hold;
    const char *p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, static_cast<std::size_t>(left));
        if (n > 0) {
            p += n;
            left -= n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        const int error = n < 0 ? errno : EIO;
        if (error == EPIPE)
            hold.raised();
        return fail(error);
    }
    return true;
}

bool COutputFile::Commit()
{
    if (m_fd < 0)
        return m_error ? false : fail(EBADF);
    if (m_kind == Kind::Direct) {
        const int r = ::close(m_fd);
        m_fd = -1;
        m_done = true;
        return r == 0 || errno == EINTR || fail(errno);
    }
    // Everything on the disk before the name moves: a crash leaves the old file or the new.
    if (::fsync(m_fd) != 0 && errno != EINVAL) {
        const int error = errno;
        Discard();
        return fail(error);
    }
    const int closed = ::close(m_fd);
    const int closeError = errno;
    m_fd = -1;
    if (closed != 0 && closeError != EINTR) {
        Discard();
        return fail(closeError);
    }
    if (::rename(native(m_temporary).constData(), native(m_target).constData()) != 0) {
        const int error = errno;
        Discard();
        return fail(error);
    }
    forgetTemporary();
    m_temporary.clear();
    m_done = true;
    return true;
}

void COutputFile::Discard()
{
    closeFile();
    if (!m_temporary.isEmpty()) {
        ::unlink(native(m_temporary).constData());
        forgetTemporary();
        m_temporary.clear();
    }
    m_done = true;
}

void COutputFile::forgetTemporary()
{
    if (m_slot >= 0)
        g_live[m_slot].state.store(SlotFree);
    m_slot = -1;
}

void COutputFile::closeFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool SameFile(const QString &a, const QString &b)
{
    struct stat sa {}, sb {};
    if (::stat(native(a).constData(), &sa) == 0 && ::stat(native(b).constData(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    const auto name = [](const QString &path) {
        const QFileInfo info(path);
        QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
        if (folder.isEmpty())
            folder = info.absolutePath();
        return folder + QLatin1Char('/') + info.fileName();
    };
    return name(a) == name(b);
}

} // namespace Quilo
