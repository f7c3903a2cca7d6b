// POSIX serial line: termios for the settings, poll for the time-outs. Chosen over
// QSerialPort because the Win32 time-out model (a total budget per attempt plus an interval
// time-out that starts with the first byte) maps directly onto a poll loop with absolute
// deadlines, and a blocking call adds no event-loop latency to a transaction.

#include "serialbackend.h"

#include "linemarks.h"
#include "linewait.h"
#include "netline.h"
#include "serialtermios.h"

#include <QtGlobal>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

namespace Quilo::Serial {

namespace {

constexpr std::uint32_t kGenericRead = 0x80000000u;
constexpr std::uint32_t kGenericWrite = 0x40000000u;

struct BaudRow {
    std::uint32_t baud;
    speed_t speed;
};

constexpr BaudRow kBauds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool speedFor(std::uint32_t baud, speed_t &speed)
{
    for (const BaudRow &row : kBauds) {
        if (row.baud == baud) {
            speed = row.speed;
            return true;
        }
    }
    return false;
}

int fdOf(const Handle &h)
{
    return static_cast<int>(h.native);
}

bool readCounters(int fd, std::array<int, 4> &counters)
{
    serial_icounter_struct ic{};
    if (ioctl(fd, TIOCGICOUNT, &ic) != 0)
        return false;
    counters = {ic.frame, ic.parity, ic.overrun, ic.brk};
    return true;
}

// Overruns are only counted by the driver, never marked in the data: compare the counters.
bool countersMoved(const Handle &h)
{
    if (!h.countersValid)
        return false;
    std::array<int, 4> now{};
    return readCounters(fdOf(h), now) && now != h.errorCounters;
}

Failure classify(int err)
{
    switch (err) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case ENOTDIR:
        return Failure::NoSuchDevice;
    case EBUSY:
    case EWOULDBLOCK:
        return Failure::Busy;
    case EACCES:
    case EPERM:
        return Failure::PermissionDenied;
    default:
        return Failure::Other;
    }
}

// Drivers without the serial ioctls (a pseudo-terminal) refuse TIOCGSERIAL; some USB drivers
// take TIOCSSERIAL but keep nothing of it, hence the read-back.
LowLatency requestLowLatency(int fd)
{
    serial_struct ss{};
    if (ioctl(fd, TIOCGSERIAL, &ss) != 0)
        return LowLatency::NotSupported;
    if (ss.flags & ASYNC_LOW_LATENCY)
        return LowLatency::AlreadyOn;
    ss.flags |= ASYNC_LOW_LATENCY;
    if (ioctl(fd, TIOCSSERIAL, &ss) != 0)
        return (errno == EPERM || errno == EACCES) ? LowLatency::Refused : LowLatency::NotSupported;
    serial_struct now{};
    if (ioctl(fd, TIOCGSERIAL, &now) != 0 || !(now.flags & ASYNC_LOW_LATENCY))
        return LowLatency::NotSupported;
    return LowLatency::Granted;
}

// The mode outlives the descriptor (an FTDI adapter keeps its 1 ms timer until unplugged), so
// other programs would inherit ours. A vanished device makes both calls fail, which is fine.
void releaseLowLatency(int fd)
{
    serial_struct ss{};
    if (ioctl(fd, TIOCGSERIAL, &ss) != 0 || !(ss.flags & ASYNC_LOW_LATENCY))
        return;
    ss.flags &= ~ASYNC_LOW_LATENCY;
    ioctl(fd, TIOCSSERIAL, &ss);
}

OpenResult fail(int fd, Failure failure, int err)
{
    if (fd >= 0)
        ::close(fd);
    return {failure, err, QString()};
}

} // namespace

bool toTermios(const LineSettings &s, termios &tio)
{
    speed_t speed = B0;
    if (!speedFor(s.baudRate, speed))
        return false;

    tcflag_t size = 0;
    switch (s.byteSize) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: return false;
    }

    tcflag_t parity = 0;
    switch (s.parity) {
    case 0: break;
    case 1: parity = PARENB | PARODD; break;
    case 2: parity = PARENB; break;
    case 3: parity = PARENB | PARODD | CMSPAR; break;
    case 4: parity = PARENB | CMSPAR; break;
    default: return false;
    }

    tcflag_t stop = 0;
    switch (s.stopBits) {
    case 0: break;
    case 1: // a UART gives one and a half stop bits only with five data bits
        if (s.byteSize != 5)
            return false;
        stop = CSTOPB;
        break;
    case 2: stop = CSTOPB; break;
    default: return false;
    }

    // Raw bytes both ways. Flow control stays as the driver has it, apart from the software
    // flow control that raw mode switches off on input.
    cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    tio.c_cflag |= size | parity | stop | CLOCAL | CREAD;
    // Line errors: a damaged character (framing, parity) or a break arrives as FF 00 x, a
    // real FF doubled, so the reader can stop at the damage (abort on error).
    tio.c_iflag &= ~(IGNPAR | IGNBRK | BRKINT | ISTRIP);
    tio.c_iflag |= INPCK | PARMRK;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    return true;
}

OpenResult open(const QByteArray &devicePath, const LineSettings &settings, Handle &handle)
{
    handle = Handle{};
    // A network port: the device server's line is set up by the server (or by RFC 2217).
    if (const QString name = QString::fromLocal8Bit(devicePath); Net::LooksLikeNetworkPort(name)) {
        const Net::ParsedAddress parsed = Net::ParseAddress(name);
        if (!parsed.address)
            return {Failure::NoSuchDevice, 0, parsed.problem};
        return Net::open(*parsed.address, Net::CurrentOptions(), handle);
    }

    int accessFlags = 0;
    const bool wantRead = settings.access & kGenericRead;
    const bool wantWrite = settings.access & kGenericWrite;
    if (wantRead && wantWrite)
        accessFlags = O_RDWR;
    else if (wantRead)
        accessFlags = O_RDONLY;
    else if (wantWrite)
        accessFlags = O_WRONLY;
    else
        return {Failure::Unsupported, EINVAL, QString()};

    termios probe{};
    if (!toTermios(settings, probe))
        return {Failure::Unsupported, EINVAL, QString()};

    // Non-blocking: opening must not wait for carrier, and every wait happens in poll.
    const int fd = ::open(devicePath.constData(), accessFlags | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(-1, classify(errno), errno);

    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return fail(fd, errno == ENOTTY ? Failure::Other : classify(errno), errno);

    if (settings.share == 0) {
        // flock keeps out our own kind (even a second instance run as root); TIOCEXCL keeps out
        // every other program that opens the device.
        if (flock(fd, LOCK_EX | LOCK_NB) != 0)
            return fail(fd, errno == EWOULDBLOCK ? Failure::Busy : Failure::Other, errno);
        ioctl(fd, TIOCEXCL);
    }

    // Starts from what the driver reports, so hardware flow control and IXOFF stay as they are.
    toTermios(settings, tio);
    if (tcsetattr(fd, TCSANOW, &tio) != 0)
        return fail(fd, Failure::Other, errno);

    handle.native = fd;
    handle.countersValid = readCounters(fd, handle.errorCounters);
    // Last, so that no failure above has to undo it.
    handle.lowLatency = requestLowLatency(fd);
    return {};
}

void close(Handle &handle)
{
    if (handle.net) {
        Net::close(handle);
        return;
    }
    if (!handle.isOpen())
        return;
    const int fd = fdOf(handle);
    if (handle.lowLatency == LowLatency::Granted)
        releaseLowLatency(fd);
    ioctl(fd, TIOCNXCL); // exclusivity would outlive us while another descriptor holds the tty
    ::close(fd);
    handle = Handle{};
}

std::size_t read(Handle &handle, std::uint8_t *buffer, std::size_t count, const Timeouts &timeouts)
{
    if (handle.net)
        return Net::read(handle, buffer, count, timeouts);
    if (!handle.isOpen() || handle.aborted || count == 0)
        return 0;
    const int fd = fdOf(handle);
    const std::int64_t deadline =
        nowNs() + msToNs(timeouts.readTotalConstant + std::uint64_t{timeouts.readTotalMultiplier} * count);
    const std::int64_t interval = msToNs(timeouts.readInterval);
    std::int64_t lastByte = 0;
    std::size_t got = 0;
    CLineMarkDecoder decoder;
    decoder.setState(handle.markState);

    while (got < count) {
        const std::int64_t now = nowNs();
        std::int64_t wait = deadline - now;
        if (got > 0 && interval > 0)
            wait = std::min(wait, lastByte + interval - now);
        if (wait <= 0)
            break;
        const int revents = waitFor(fd, POLLIN, wait);
        if (revents == 0)
            continue;
        if (revents < 0 || !(revents & POLLIN)) {
            handle.aborted = true; // hang-up or a vanished device
            break;
        }
        // Never ask for more raw bytes than data bytes still missing: what follows the reply
        // stays in the queue.
        const ssize_t n = ::read(fd, buffer + got, count - got);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n <= 0) {
            handle.aborted = true;
            break;
        }
        lastByte = nowNs();
        // Decode in place: the write position never passes the read position.
        std::uint8_t *raw = buffer + got;
        for (ssize_t i = 0; i < n && !handle.aborted; ++i) {
            std::uint8_t out = 0;
            switch (decoder.feed(raw[i], out)) {
            case CLineMarkDecoder::Step::Byte: buffer[got++] = out; break;
            case CLineMarkDecoder::Step::Pending: break;
            case CLineMarkDecoder::Step::LineError: handle.aborted = true; break;
            }
        }
        if (handle.aborted)
            break;
    }

    handle.markState = decoder.state();
    if (!handle.aborted && got > 0 && countersMoved(handle))
        handle.aborted = true;
    // Like the Win32 abort on error: a damaged transfer delivers nothing.
    return handle.aborted ? 0 : got;
}

std::size_t write(Handle &handle, const std::uint8_t *buffer, std::size_t count, const Timeouts &timeouts)
{
    if (handle.net)
        return Net::write(handle, buffer, count, timeouts);
    if (!handle.isOpen() || handle.aborted || count == 0)
        return 0;
    const int fd = fdOf(handle);
    const std::int64_t deadline =
        nowNs() + msToNs(timeouts.writeTotalConstant + std::uint64_t{timeouts.writeTotalMultiplier} * count);
    std::size_t sent = 0;
    while (sent < count) {
        const ssize_t n = ::write(fd, buffer + sent, count - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            handle.aborted = true;
            break;
        }
        const std::int64_t wait = deadline - nowNs();
        if (wait <= 0)
            break;
        const int revents = waitFor(fd, POLLOUT, wait);
        if (revents < 0 || (revents & (POLLHUP | POLLERR | POLLNVAL))) {
            handle.aborted = true;
            break;
        }
    }
    return sent;
}

void flushInput(Handle &handle)
{
    if (handle.net) {
        Net::flushInput(handle);
        return;
    }
    if (!handle.isOpen())
        return;
    tcflush(fdOf(handle), TCIFLUSH);
    handle.markState = 0;
}

bool waitForInput(Handle &handle, int milliseconds)
{
    if (handle.net)
        return Net::waitForInput(handle, milliseconds);
    if (!handle.isOpen() || handle.aborted)
        return false;
    const int revents = waitFor(fdOf(handle), POLLIN, msToNs(static_cast<std::uint64_t>(std::max(0, milliseconds))));
    return revents > 0 && (revents & POLLIN);
}

QString errorText(int systemError)
{
    return qt_error_string(systemError);
}

} // namespace Quilo::Serial
