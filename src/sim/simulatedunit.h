#pragma once
// The simulated unit on a line of its own: a pseudo-terminal whose slave end the program opens
// like a serial port, or a real serial device on a null-modem cable. It runs on its own thread
// (start()/stop(), no event loop needed); every public function may be called from any thread.

#include "faults.h"
#include "framereader.h"
#include "responder.h"
#include "trafficlog.h"
#include "unitgenerator.h"
#include "unitstate.h"

#include <QList>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>

namespace QuiloSim {

class CSimulatedUnit
{
public:
    explicit CSimulatedUnit(const UnitState &state = generateState(1));
    ~CSimulatedUnit();
    CSimulatedUnit(const CSimulatedUnit &) = delete;
    CSimulatedUnit &operator=(const CSimulatedUnit &) = delete;

    // Taken at start(): serve this serial device instead of a pseudo-terminal; also make the
    // pseudo-terminal reachable at `path` (a symbolic link, removed at stop()).
    void setDevice(const QString &device);
    void setLinkPath(const QString &path);
    // Traffic log, "-" for standard error; before start().
    bool setLogFile(const QString &path, QString *error = nullptr);

    // 9600-baud wire time for every byte in both directions, and the unit's thinking time.
    void setPacing(bool on) { m_pace = on; }
    bool pacing() const { return m_pace; }
    void setTurnaroundMs(int ms) { m_turnaroundMs = ms < 0 ? 0 : ms; }
    // Answers reach the program in bursts, as through a USB serial adapter whose latency timer
    // is `ms`: its chip passes on what it has received only when the timer runs out, and the
    // timer runs all the time (16 ms by default on FTDI, 1 ms in low-latency mode). 0: off.
    void setAdapterLatencyMs(int ms) { m_adapterLatencyMs = ms < 0 ? 0 : ms; }
    int adapterLatencyMs() const { return m_adapterLatencyMs; }

    bool start(QString *error = nullptr);
    void stop();
    bool isRunning() const { return m_thread.joinable(); }
    QString slavePath() const { return m_slavePath; } // the device itself in device mode
    bool isLineDropped() const { return m_dropped; }

    UnitState state() const;
    void setState(const UnitState &state);
    void setUserKey(const std::optional<Key> &key); // key mode on with a key, off without
    // The data bytes of the reply to a request, as the unit holds them now.
    QByteArray replyData(std::uint8_t command, std::uint8_t param) const;

    void addFault(const Fault &fault);
    void clearFaults();
    QList<Fault> faults() const;

    // Everything the unit has read, frames, noise and dropped pieces alike, oldest first; and
    // every answer it has put on the line.
    QList<Frame> receivedFrames() const;
    QList<QByteArray> sentFrames() const;
    void clearTraffic();
    // Waits until receivedFrames() holds at least `count` entries.
    bool waitForReceived(qsizetype count, int timeoutMs) const;

private:
    bool openPty(QString *error);
    bool openDevice(QString *error);
    void serve();
    void readAvailable(std::int64_t nowNs);
    void hangUp(std::int64_t nowNs);
    void handle(const Frame &frame);
    void transmit(const Transmission &t, std::int64_t startNs);
    bool writeAll(const char *data, qsizetype size);
    void dropLine(std::int64_t nowNs);
    void closeLine();

    mutable std::mutex m_mutex; // guards the members below up to m_sent
    mutable std::condition_variable m_traffic;
    UnitState m_state;
    CResponder m_responder;
    CFaultTable m_faults;
    std::mt19937 m_random;
    QList<Frame> m_received;
    QList<QByteArray> m_sent;

    std::atomic<bool> m_pace{false};
    std::atomic<int> m_turnaroundMs{0};
    std::atomic<int> m_adapterLatencyMs{0};
    std::atomic<bool> m_dropped{false};

    // Owned by the serving thread while it runs.
    CFrameReader m_reader;
    CTrafficLog m_log;
    std::int64_t m_lastRxNs = 0;
    std::int64_t m_hangUpWaitNs = 0; // grows while nobody holds the slave end
    std::int64_t m_adapterEpochNs = 0; // the adapter's timer ticks from here
    int m_fd = -1;
    int m_wake[2] = {-1, -1};
    QString m_device;
    QString m_linkPath;
    QString m_slavePath;
    bool m_linked = false;
    std::thread m_thread;
};

} // namespace QuiloSim
