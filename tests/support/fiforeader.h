#pragma once
// Reads a FIFO while the code under test writes it, without ever hanging the test: its read
// end is held open from the start, so the reader sees the bytes of whoever opens the FIFO, and
// gets nothing, rather than waiting for ever, when the FIFO was replaced instead of written.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

class FifoReader
{
public:
    explicit FifoReader(const QString &fifo)
        : m_fd(::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC))
    {
        if (m_fd >= 0)
            m_thread = std::thread([this] { run(); });
    }
    ~FifoReader() { finish(); }
    FifoReader(const FifoReader &) = delete;
    FifoReader &operator=(const FifoReader &) = delete;

    bool opened() const { return m_fd >= 0; }
    // Call once the writer is done: what it wrote.
    QByteArray finish()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_fd >= 0) {
            drain();
            ::close(m_fd);
            m_fd = -1;
        }
        return m_got;
    }

private:
    void drain()
    {
        char buffer[65536];
        ssize_t n = 0;
        while ((n = ::read(m_fd, buffer, sizeof buffer)) > 0)
            m_got.append(buffer, n);
    }
    void run()
    {
        while (!m_stop) {
            drain(); // no writer yet or any more: nothing now, try again shortly
            ::usleep(5000);
        }
    }

    int m_fd = -1;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    QByteArray m_got;
};
