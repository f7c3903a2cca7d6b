#pragma once
// Reads a FIFO while the code under test writes it, never hanging the test: the read end is
// open from the start (non-blocking), so a FIFO replaced instead of written gives nothing.

#include <QByteArray>
#include <QFile>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

class FifoReader
{
public:
    explicit FifoReader(const QString &fifo)
        : m_fd(::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)),
          m_thread([this] {
              while (!m_stop) {
                  drain(); // nothing yet, or no writer any more: again shortly
                  ::usleep(5000);
              }
          })
    {
    }
    ~FifoReader() { finish(); }

    // Once the writer is done: all it wrote.
    QByteArray finish()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        drain();
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        return m_got;
    }

private:
    void drain()
    {
        char buffer[65536];
        for (ssize_t n; m_fd >= 0 && (n = ::read(m_fd, buffer, sizeof buffer)) > 0;)
            m_got.append(buffer, n);
    }

    int m_fd;
    std::atomic<bool> m_stop{false};
    QByteArray m_got;
    std::thread m_thread; // last: starts once the rest is ready
};
