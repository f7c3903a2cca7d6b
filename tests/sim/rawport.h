#pragma once
// The program's end of the line for the tests: a tty opened raw, read with a total and an
// inter-byte time-out like the serial line's.

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

class RawPort
{
public:
    RawPort() = default;
    explicit RawPort(const QString &path) { open(path); }
    ~RawPort() { close(); }
    RawPort(const RawPort &) = delete;
    RawPort &operator=(const RawPort &) = delete;

    bool open(const QString &path)
    {
        close();
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_fd < 0)
            return false;
        termios t{};
        tcgetattr(m_fd, &t);
        cfmakeraw(&t);
        cfsetspeed(&t, B9600);
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        tcsetattr(m_fd, TCSANOW, &t);
        return true;
    }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    bool isOpen() const { return m_fd >= 0; }

    bool send(const QByteArray &bytes)
    {
        return m_fd >= 0 && ::write(m_fd, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
    }

    // Up to `count` bytes: waits `firstMs` for the first, then `gapMs` between bytes.
    QByteArray receive(qsizetype count, int firstMs = 1000, int gapMs = 150)
    {
        QByteArray out;
        while (m_fd >= 0 && out.size() < count) {
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, out.isEmpty() ? firstMs : gapMs) <= 0 || !(p.revents & POLLIN))
                break;
            char buffer[256];
            const ssize_t n = ::read(m_fd, buffer, std::min<size_t>(sizeof buffer, static_cast<size_t>(count - out.size())));
            if (n <= 0)
                break;
            out.append(buffer, n);
        }
        return out;
    }

    // Request and reply in one go.
    QByteArray transact(const QByteArray &frame, qsizetype replyLength, int firstMs = 1000)
    {
        send(frame);
        return receive(replyLength, firstMs);
    }

private:
    int m_fd = -1;
};

// Test-side frame building, independent of the unit's own code.
inline QByteArray withChecksum(QByteArray frame)
{
    unsigned sum = 0;
    for (char c : frame)
        sum += static_cast<unsigned char>(c);
    const unsigned value = (0xFFFFu - sum) & 0xFFFFu;
    frame.append(static_cast<char>(value & 0xFF));
    frame.append(static_cast<char>(value >> 8));
    return frame;
}

inline QByteArray bytesOf(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}
