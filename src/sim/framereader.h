#pragma once
// Cuts the byte stream from the program into frames. Pure: bytes and their arrival times in,
// events out; no I/O, no clock of its own.
//
// A byte that cannot start a frame is noise. Once command and parameter are in, the command
// table says how long the frame is; a frame whose bytes stop coming for longer than the
// inter-byte time-out is dropped. A data command with a parameter outside the table has no
// known length, so what follows it is discarded until the line falls silent.

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <optional>

namespace QuiloSim {

enum class FrameType : std::uint8_t {
    Request, // 2 bytes of the command table
    Data,    // n + 4 bytes of the command table, checksum not yet examined
    Unknown, // command and parameter outside the table
    Noise,   // bytes that start no frame
    Partial, // a frame's start whose remaining bytes never came
};

struct Frame {
    FrameType type = FrameType::Noise;
    QByteArray bytes;
    std::int64_t timeNs = 0; // arrival of its last byte
};

const char *frameTypeName(FrameType type);

class CFrameReader
{
public:
    static constexpr std::int64_t kDefaultGapNs = 100'000'000;

    explicit CFrameReader(std::int64_t interByteTimeoutNs = kDefaultGapNs);

    // Bytes that arrived at `timeNs` (times never go backwards).
    QList<Frame> feed(const QByteArray &bytes, std::int64_t timeNs);
    // Called when the line has been quiet: hands out what the silence completes.
    QList<Frame> expire(std::int64_t nowNs);
    // When expire() next has something to do; empty while nothing is pending.
    std::optional<std::int64_t> deadline() const;
    void reset();

private:
    void flushNoise(QList<Frame> &out);
    void take(char byte, std::int64_t timeNs, QList<Frame> &out);

    std::int64_t m_gapNs;
    QByteArray m_pending;     // the frame being collected
    QByteArray m_noise;       // noise (or discarded bytes) not yet handed out
    std::size_t m_expected = 0; // frame length once command and parameter are known
    bool m_discarding = false;
    std::int64_t m_lastNs = 0;
};

} // namespace QuiloSim
