#include "ptypeer.h"

#include "commandtable.h"

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

std::thread feedLater(PtyPair &pty, QList<PeerChunk> chunks)
{
    return std::thread([&pty, chunks = std::move(chunks)] {
        for (const PeerChunk &c : chunks) {
            if (c.delayMs > 0)
                usleep(static_cast<useconds_t>(c.delayMs) * 1000);
            pty.write(c.bytes);
        }
    });
}

PtyPeer::PtyPeer(PtyPair &pty, Responder responder)
    : m_pty(pty)
    , m_responder(std::move(responder))
{
    if (pipe2(m_stopPipe, O_CLOEXEC) != 0)
        m_stopPipe[0] = m_stopPipe[1] = -1;
    m_thread = std::thread([this] { run(); });
}

PtyPeer::~PtyPeer()
{
    stop();
    for (int fd : m_stopPipe)
        if (fd >= 0)
            ::close(fd);
}

void PtyPeer::stop()
{
    if (m_running.exchange(false) && m_stopPipe[1] >= 0) {
        const char c = 0;
        [[maybe_unused]] const ssize_t n = ::write(m_stopPipe[1], &c, 1);
    }
    if (m_thread.joinable())
        m_thread.join();
}

QList<QByteArray> PtyPeer::frames() const
{
    std::lock_guard lock(m_mutex);
    return m_frames;
}

bool PtyPeer::waitForFrames(int count, int timeoutMs) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        {
            std::lock_guard lock(m_mutex);
            if (m_frames.size() >= count)
                return true;
        }
        usleep(1000);
    }
    std::lock_guard lock(m_mutex);
    return m_frames.size() >= count;
}

QByteArray PtyPeer::reply(const QByteArray &data, quint8 header0, quint8 header1)
{
    QByteArray out;
    out.append(static_cast<char>(header0));
    out.append(static_cast<char>(header1));
    out.append(data);
    const auto *p = reinterpret_cast<const std::uint8_t *>(out.constData());
    const std::uint16_t sum = Quilo::checksum(std::span<const std::uint8_t>(p, static_cast<size_t>(out.size())));
    out.append(static_cast<char>(sum & 0xFF));
    out.append(static_cast<char>(sum >> 8));
    return out;
}

int PtyPeer::frameLength(quint8 command, quint8 parameter)
{
    const Quilo::CommandInfo *info = Quilo::findCommand(command, parameter);
    if (info && info->kind == Quilo::FrameKind::Data)
        return static_cast<int>(Quilo::dataLength(command, parameter) + Quilo::kFrameOverhead);
    return 2;
}

void PtyPeer::run()
{
    QByteArray pending;
    int index = 0;
    while (m_running) {
        pollfd p[2] = {{m_pty.masterFd(), POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
        if (poll(p, 2, -1) < 0)
            continue;
        if (p[1].revents || !(p[0].revents & POLLIN))
            break;
        char buf[256];
        const ssize_t n = ::read(m_pty.masterFd(), buf, sizeof buf);
        if (n <= 0)
            break;
        pending.append(buf, n);
        while (pending.size() >= 2) {
            const int length = frameLength(static_cast<quint8>(pending[0]), static_cast<quint8>(pending[1]));
            if (pending.size() < length)
                break;
            const QByteArray frame = pending.left(length);
            pending.remove(0, length);
            {
                std::lock_guard lock(m_mutex);
                m_frames << frame;
            }
            const QList<PeerChunk> chunks = m_responder ? m_responder(frame, index) : QList<PeerChunk>();
            ++index;
            for (const PeerChunk &c : chunks) {
                if (c.delayMs > 0) {
                    pollfd s{m_stopPipe[0], POLLIN, 0};
                    if (poll(&s, 1, c.delayMs) > 0)
                        return;
                }
                m_pty.write(c.bytes);
            }
        }
    }
}
