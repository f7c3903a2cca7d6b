#include "simulatedunit.h"

#include "pacing.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <algorithm>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

namespace QuiloSim {
namespace {

constexpr std::int64_t kMs = 1'000'000;

void setRaw9600(int fd)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return;
    cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS | CSIZE);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    tcsetattr(fd, TCSANOW, &t);
}

// True when nobody holds the pseudo-terminal's slave end (the master reports a hang-up).
bool slaveClosed(int masterFd)
{
    pollfd p{masterFd, 0, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & POLLHUP);
}

bool failed(QString *error, const QString &what)
{
    if (error)
        *error = what + QStringLiteral(": ") + QString::fromLocal8Bit(strerror(errno));
    return false;
}

} // namespace

CSimulatedUnit::CSimulatedUnit(const UnitState &state) : m_state(state), m_random(state.seed) {}

CSimulatedUnit::~CSimulatedUnit()
{
    stop();
}

void CSimulatedUnit::setDevice(const QString &device)
{
    m_device = device;
}

void CSimulatedUnit::setLinkPath(const QString &path)
{
    m_linkPath = path;
}

bool CSimulatedUnit::setLogFile(const QString &path, QString *error)
{
    return !isRunning() && m_log.open(path, error);
}

bool CSimulatedUnit::openPty(QString *error)
{
    m_fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        return failed(error, QStringLiteral("posix_openpt"));
    char name[256] = {};
    if (grantpt(m_fd) != 0 || unlockpt(m_fd) != 0 || ptsname_r(m_fd, name, sizeof name) != 0) {
        failed(error, QCoreApplication::translate("quilo-sim", "pseudo-terminal"));
        closeLine();
        return false;
    }
    // Raw before anyone opens the slave: an echoing line would send the unit its own replies.
    setRaw9600(m_fd);
    m_slavePath = QString::fromLocal8Bit(name);
    if (m_linkPath.isEmpty())
        return true;
    // Never replaces what is there, not even a link: it may be someone else's (another unit's,
    // or a device name the user relies on). A stale link of an earlier run is the user's to
    // remove.
    const QByteArray link = QFile::encodeName(m_linkPath);
    if (symlink(name, link.constData()) != 0) {
        if (errno == EEXIST && error)
            *error = QCoreApplication::translate("quilo-sim", "%1 exists already; remove it, or choose another path")
                         .arg(m_linkPath);
        else
            failed(error, m_linkPath);
        closeLine();
        return false;
    }
    m_linked = true;
    return true;
}

bool CSimulatedUnit::openDevice(QString *error)
{
    m_fd = open(QFile::encodeName(m_device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        return failed(error, m_device);
    setRaw9600(m_fd);
    tcflush(m_fd, TCIOFLUSH);
    m_slavePath = m_device;
    return true;
}

bool CSimulatedUnit::start(QString *error)
{
    if (isRunning())
        return true;
    if (pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        return failed(error, QStringLiteral("pipe"));
    if (!(m_device.isEmpty() ? openPty(error) : openDevice(error))) {
        close(m_wake[0]);
        close(m_wake[1]);
        m_wake[0] = m_wake[1] = -1;
        return false;
    }
    m_dropped = false;
    m_reader.reset();
    m_adapterEpochNs = monotonicNs();
    m_log.note(monotonicNs(), QStringLiteral("unit on %1").arg(m_slavePath));
    m_thread = std::thread([this] { serve(); });
    return true;
}

void CSimulatedUnit::stop()
{
    if (!isRunning())
        return;
    const char byte = 0;
    [[maybe_unused]] const auto written = write(m_wake[1], &byte, 1);
    m_thread.join();
    closeLine();
    close(m_wake[0]);
    close(m_wake[1]);
    m_wake[0] = m_wake[1] = -1;
}

void CSimulatedUnit::closeLine()
{
    if (m_linked) {
        // Only our own link: someone may have pointed the path elsewhere meanwhile.
        if (QFileInfo(m_linkPath).symLinkTarget() == QFileInfo(m_slavePath).absoluteFilePath())
            unlink(QFile::encodeName(m_linkPath).constData());
        m_linked = false;
    }
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
}

void CSimulatedUnit::serve()
{
    // The default 50 us of timer slack would be added to nearly every paced byte.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    for (;;) {
        if (m_fd < 0) { // the line was dropped: wait for stop()
            pollfd p{m_wake[0], POLLIN, 0};
            if (poll(&p, 1, -1) > 0)
                return;
            continue;
        }
        int timeoutMs = -1;
        if (const auto due = m_reader.deadline())
            timeoutMs = static_cast<int>(std::max<std::int64_t>(0, *due - monotonicNs()) / kMs) + 1;
        pollfd p[2] = {{m_fd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (poll(p, 2, timeoutMs) < 0 && errno != EINTR)
            return;
        if (p[1].revents)
            return;
        const std::int64_t now = monotonicNs();
        if (p[0].revents & POLLIN)
            readAvailable(now);
        else if (p[0].revents & (POLLHUP | POLLERR | POLLNVAL))
            hangUp(now);
        for (const Frame &f : m_reader.expire(monotonicNs()))
            handle(f);
    }
}

void CSimulatedUnit::readAvailable(std::int64_t nowNs)
{
    char buffer[512];
    const ssize_t n = read(m_fd, buffer, sizeof buffer);
    if (n <= 0) {
        if (n == 0 || (errno != EAGAIN && errno != EINTR))
            hangUp(nowNs);
        return;
    }
    m_hangUpWaitNs = 0;
    for (ssize_t i = 0; i < n; ++i) {
        // With pacing a byte is in only when its ten bits have crossed the wire.
        m_lastRxNs = m_pace ? std::max(nowNs, m_lastRxNs) + kByteTimeNs : nowNs;
        for (const Frame &f : m_reader.feed(QByteArray(1, buffer[i]), m_lastRxNs))
            handle(f);
        if (m_fd < 0)
            return; // dropped
    }
}

void CSimulatedUnit::hangUp(std::int64_t nowNs)
{
    // Nobody holds the slave end. What we sent but nobody read would greet the next opener
    // as the start of its first reply; a serial port that is closed receives nothing either.
    if (m_device.isEmpty())
        tcflush(m_fd, TCOFLUSH);
    const QByteArray partial = m_reader.deadline() ? QByteArray("(pending bytes dropped)") : QByteArray();
    m_reader.reset();
    if (!partial.isEmpty())
        m_log.note(nowNs, QString::fromLatin1(partial));
    // The master reports the hang-up until someone opens the slave again, and the program
    // reopens it within microseconds for its next operation: a short wait first, growing to
    // 10 ms while nobody comes, so a reopened line is served at once without spinning.
    m_hangUpWaitNs = std::clamp<std::int64_t>(m_hangUpWaitNs * 2, kMs / 10, 10 * kMs);
    sleepUntil(nowNs + m_hangUpWaitNs, m_wake[0]);
}

void CSimulatedUnit::handle(const Frame &frame)
{
    m_log.frame(frame.timeNs, "<-", frameTypeName(frame.type), frame.bytes);
    {
        std::lock_guard lock(m_mutex);
        m_received.append(frame);
    }
    m_traffic.notify_all();
    if (m_dropped || (frame.type != FrameType::Request && frame.type != FrameType::Data))
        return;
    if (m_pace && !sleepUntil(frame.timeNs, m_wake[0]))
        return;
    const auto command = static_cast<std::uint8_t>(frame.bytes[0]);
    const auto param = static_cast<std::uint8_t>(frame.bytes[1]);
    Transmission t;
    std::optional<Fault> fault;
    {
        std::lock_guard lock(m_mutex);
        fault = m_faults.take(command, param);
        const QByteArray answer = fault && fault->changesNothing() ? QByteArray()
                                                                   : m_responder.respond(m_state, frame.bytes);
        t = applyFault(fault, answer, command, param, m_random);
    }
    const std::int64_t now = monotonicNs();
    if (fault)
        m_log.note(now, QStringLiteral("fault ") + faultToString(*fault));
    if (t.dropLine) {
        dropLine(now);
        return;
    }
    if (t.bytes.isEmpty()) {
        m_log.note(now, QStringLiteral("no answer"));
        return;
    }
    // Paced, the answer is due from the frame's own end on: a late wake-up or the time spent
    // answering must not push every byte of it later on the wire (the bytes catch up instead).
    transmit(t, (m_pace ? frame.timeNs : now) + (m_turnaroundMs + t.delayMs) * kMs);
}

void CSimulatedUnit::transmit(const Transmission &t, std::int64_t startNs)
{
    // Each byte leaves when its wire time is over, or behind an adapter at the next tick of its
    // timer after that; runs of bytes due together go in one write.
    const bool pace = m_pace;
    const std::int64_t tickNs = m_adapterLatencyMs * kMs;
    auto due = [&](qsizetype i) {
        const std::int64_t onWire =
            startNs + (pace ? (i + 1) * kByteTimeNs : 0) + (t.gapAfter >= 0 && i > t.gapAfter ? t.gapMs * kMs : 0);
        if (tickNs <= 0)
            return onWire;
        const std::int64_t sinceEpoch = std::max<std::int64_t>(0, onWire - m_adapterEpochNs);
        return m_adapterEpochNs + (sinceEpoch + tickNs - 1) / tickNs * tickNs;
    };
    const qsizetype n = t.bytes.size();
    for (qsizetype i = 0; i < n;) {
        qsizetype j = i + 1;
        while (j < n && due(j) == due(i))
            ++j;
        // An answer due after the program closed the line would wait in the queue and greet
        // the next opener as the start of its reply: a closed serial port receives nothing.
        if (!sleepUntil(due(i), m_wake[0]) || (m_device.isEmpty() && slaveClosed(m_fd))
            || !writeAll(t.bytes.constData() + i, j - i))
            break;
        i = j;
    }
    m_log.frame(monotonicNs(), "->", "sent", t.bytes);
    {
        std::lock_guard lock(m_mutex);
        m_sent.append(t.bytes);
    }
    m_traffic.notify_all();
}

bool CSimulatedUnit::writeAll(const char *data, qsizetype size)
{
    for (int stalls = 0; size > 0 && stalls < 20;) {
        const ssize_t n = write(m_fd, data, static_cast<std::size_t>(size));
        if (n > 0) {
            data += n;
            size -= n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        // Nobody reads: give up after a second rather than block the unit.
        pollfd p[2] = {{m_fd, POLLOUT, 0}, {m_wake[0], POLLIN, 0}};
        if (poll(p, 2, 50) > 0 && p[1].revents)
            return false;
        ++stalls;
    }
    return size == 0;
}

void CSimulatedUnit::dropLine(std::int64_t nowNs)
{
    m_log.note(nowNs, QStringLiteral("line dropped"));
    m_dropped = true;
    if (m_device.isEmpty())
        closeLine(); // the pseudo-terminal vanishes; a real device just stays silent
}

UnitState CSimulatedUnit::state() const
{
    std::lock_guard lock(m_mutex);
    return m_state;
}

void CSimulatedUnit::setState(const UnitState &state)
{
    std::lock_guard lock(m_mutex);
    m_state = state;
    m_responder.disarm();
}

void CSimulatedUnit::setUserKey(const std::optional<Key> &key)
{
    std::lock_guard lock(m_mutex);
    m_state.userKey = key;
    m_responder.disarm();
}

QByteArray CSimulatedUnit::replyData(std::uint8_t command, std::uint8_t param) const
{
    std::lock_guard lock(m_mutex);
    return QuiloSim::replyData(m_state, command, param);
}

void CSimulatedUnit::addFault(const Fault &fault)
{
    std::lock_guard lock(m_mutex);
    m_faults.add(fault);
}

void CSimulatedUnit::clearFaults()
{
    std::lock_guard lock(m_mutex);
    m_faults.clear();
}

QList<Fault> CSimulatedUnit::faults() const
{
    std::lock_guard lock(m_mutex);
    return m_faults.faults();
}

QList<Frame> CSimulatedUnit::receivedFrames() const
{
    std::lock_guard lock(m_mutex);
    return m_received;
}

QList<QByteArray> CSimulatedUnit::sentFrames() const
{
    std::lock_guard lock(m_mutex);
    return m_sent;
}

void CSimulatedUnit::clearTraffic()
{
    std::lock_guard lock(m_mutex);
    m_received.clear();
    m_sent.clear();
}

bool CSimulatedUnit::waitForReceived(qsizetype count, int timeoutMs) const
{
    std::unique_lock lock(m_mutex);
    return m_traffic.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_received.size() >= count; });
}

} // namespace QuiloSim
