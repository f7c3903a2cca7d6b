#pragma once
// A scripted unit on the master side of a PtyPair, on its own thread: it cuts what the
// program sends into frames (by the command table) and answers each with what the test's
// responder returns.

#include "ptypair.h"

#include <QByteArray>
#include <QList>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

struct PeerChunk
{
    int delayMs = 0; // before these bytes go out
    QByteArray bytes;
};

// Writes the chunks to the program on a thread of its own, each after its delay. Join it.
std::thread feedLater(PtyPair &pty, QList<PeerChunk> chunks);

class PtyPeer
{
public:
    // frame: the bytes of one frame; index: counted from 0.
    using Responder = std::function<QList<PeerChunk>(const QByteArray &frame, int index)>;

    explicit PtyPeer(PtyPair &pty, Responder responder);
    ~PtyPeer();
    PtyPeer(const PtyPeer &) = delete;
    PtyPeer &operator=(const PtyPeer &) = delete;

    void stop();
    QList<QByteArray> frames() const;
    // Waits until `count` frames arrived; false on time-out.
    bool waitForFrames(int count, int timeoutMs) const;

    // A reply frame with the given header and data and a correct checksum.
    static QByteArray reply(const QByteArray &data, quint8 header0 = 0, quint8 header1 = 0);
    // Frame length the unit expects once it knows the first two bytes.
    static int frameLength(quint8 command, quint8 parameter);

private:
    void run();

    PtyPair &m_pty;
    Responder m_responder;
    int m_stopPipe[2] = {-1, -1};
    std::atomic<bool> m_running{true};
    mutable std::mutex m_mutex;
    QList<QByteArray> m_frames;
    std::thread m_thread;
};
