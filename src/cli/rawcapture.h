#pragma once
// Watches the frames of a run through the frame link's trace hook: keeps each good reply's
// data bytes (records parse in place, so their bytes are gone once the next reply arrives)
// and, when asked, writes every frame in hex with its time and verdict.

#include "framelink.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QIODevice>

#include <chrono>
#include <cstdint>

namespace QuiloCli {

class CRawCapture
{
public:
    // `trace` may be null: capture only.
    explicit CRawCapture(QIODevice *trace = nullptr);

    void Attach(Quilo::CFrameLink &link); // replaces the link's hook
    void OnFrame(const Quilo::TraceEvent &event);

    // Data bytes of the last good reply to (command, parameter); empty when there was none.
    QByteArray Reply(std::uint8_t command, std::uint8_t parameter) const;
    // Chunks 1..count back to back, a failed chunk as zeros of its length; empty when no
    // chunk was read.
    QByteArray Chunked(std::uint8_t command, std::size_t count) const;

    // One trace line, as written to the trace device.
    QString TraceLine(const Quilo::TraceEvent &event) const;

    // Late replies dropped as stale since the count was last taken.
    int TakeDiscarded();
    // Why writing the trace failed (the device's words); empty while it has not.
    QString TraceError() const { return m_traceError; }

private:
    static quint16 keyOf(std::uint8_t command, std::uint8_t parameter)
    {
        return static_cast<quint16>((command << 8) | parameter);
    }

    QIODevice *m_trace;
    QHash<quint16, QByteArray> m_replies;
    int m_pending = -1; // key of the request waiting for its reply
    int m_discarded = 0;
    QString m_traceError;
    QDateTime m_wallStart;
    std::chrono::steady_clock::time_point m_steadyStart;
};

} // namespace QuiloCli
