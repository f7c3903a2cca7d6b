#include "measure.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <ctime>
#include <numeric>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace QuiloBench {

namespace {

std::int64_t clockNs(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

QString systemError(const char *what, int error)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(error)));
}

} // namespace

std::int64_t wallNs()
{
    return clockNs(CLOCK_MONOTONIC);
}

std::int64_t threadCpuNs()
{
    return clockNs(CLOCK_THREAD_CPUTIME_ID);
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

double quantile(std::vector<double> values, double q)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const double rank = std::ceil(q * static_cast<double>(values.size()));
    const std::size_t index = rank < 1 ? 0 : static_cast<std::size_t>(rank) - 1;
    return values[std::min(index, values.size() - 1)];
}

double mean(const std::vector<double> &values)
{
    if (values.empty())
        return 0;
    return std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
}

CChildProcess::~CChildProcess()
{
    terminate();
}

bool CChildProcess::start(const QString &program, const QStringList &arguments, const QStringList &environment,
                          bool captureStdout, QString *error)
{
    if (m_pid > 0)
        return false;
    QList<QByteArray> argStore{program.toLocal8Bit()};
    for (const QString &a : arguments)
        argStore << a.toLocal8Bit();
    std::vector<char *> argv;
    for (QByteArray &a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    // Our environment with the given entries put in place of those of the same name.
    QList<QByteArray> envStore;
    for (const QString &e : environment)
        envStore << e.toLocal8Bit();
    for (char **e = environ; *e; ++e) {
        const QByteArray entry(*e);
        const QByteArray name = entry.left(entry.indexOf('=') + 1);
        const bool replaced = std::any_of(envStore.cbegin(), envStore.cend(),
                                          [&](const QByteArray &x) { return x.startsWith(name); });
        if (!replaced)
            envStore << entry;
    }
    std::vector<char *> envp;
    for (QByteArray &e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    int pipeFds[2] = {-1, -1};
    if (captureStdout && pipe2(pipeFds, O_CLOEXEC) != 0) {
        if (error)
            *error = systemError("pipe", errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (captureStdout)
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (captureStdout)
        close(pipeFds[1]);
    if (rc != 0) {
        if (captureStdout)
            close(pipeFds[0]);
        if (error)
            *error = systemError(argv[0], rc);
        return false;
    }
    m_pid = pid;
    m_outFd = captureStdout ? pipeFds[0] : -1;
    m_pending.clear();
    return true;
}

QByteArray CChildProcess::readLine(int timeoutMs)
{
    const std::int64_t deadline = wallNs() + std::int64_t{timeoutMs} * 1'000'000;
    while (m_outFd >= 0) {
        const qsizetype newline = m_pending.indexOf('\n');
        if (newline >= 0) {
            const QByteArray line = m_pending.left(newline);
            m_pending.remove(0, newline + 1);
            return line;
        }
        const std::int64_t left = deadline - wallNs();
        if (left <= 0)
            break;
        pollfd p{m_outFd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left / 1'000'000) + 1) <= 0)
            continue;
        char buffer[256];
        const ssize_t n = read(m_outFd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        m_pending.append(buffer, n);
    }
    return {};
}

namespace {

// The child's own high-water mark of resident memory (VmHWM), 0 once it has gone. The kernel's
// ru_maxrss of a child cannot serve: a child forked from this large process and then exec'd
// is charged with this process's peak from before the exec.
long highWaterKiB(pid_t pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

} // namespace

bool CChildProcess::wait(int timeoutMs, long *peakKiB, QString *error)
{
    if (m_pid <= 0)
        return false;
    const std::int64_t deadline = wallNs() + std::int64_t{timeoutMs} * 1'000'000;
    int status = 0;
    rusage usage{};
    bool killed = false;
    long highWater = 0;
    for (;;) {
        // the mark only rises: the last reading before the exit is the peak, give or take
        // what the last 2 ms added
        if (peakKiB)
            highWater = std::max(highWater, highWaterKiB(m_pid));
        const pid_t r = wait4(m_pid, &status, WNOHANG, &usage);
        if (r == m_pid)
            break;
        if (r < 0 && errno != EINTR) {
            if (error)
                *error = systemError("wait4", errno);
            m_pid = -1;
            return false;
        }
        if (!killed && wallNs() > deadline) {
            kill(m_pid, SIGKILL);
            killed = true;
        }
        const timespec pause{0, 2'000'000};
        nanosleep(&pause, nullptr);
    }
    m_pid = -1;
    if (m_outFd >= 0)
        close(m_outFd);
    m_outFd = -1;
    if (peakKiB)
        *peakKiB = highWater;
    const bool ok = !killed && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!ok && error) {
        if (killed)
            *error = QStringLiteral("did not end within %1 s").arg(timeoutMs / 1000);
        else if (WIFEXITED(status))
            *error = QStringLiteral("exit status %1").arg(WEXITSTATUS(status));
        else
            *error = QStringLiteral("signal %1").arg(WTERMSIG(status));
    }
    return ok;
}

void CChildProcess::terminate()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    wait(5000);
}

} // namespace QuiloBench
