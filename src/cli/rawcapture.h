#pragma once
// Watches the frames of a run through the frame link's trace hook: counts the late replies
// dropped as stale and, when asked, writes every frame in hex with its time and verdict.

#include "framelink.h"

#include <QDateTime>
#include <QIODevice>

#include <chrono>

namespace QuiloCli {

class CRawCapture
{
public:
    // `trace` may be null: counting only.
    explicit CRawCapture(QIODevice *trace = nullptr);

    void Attach(Quilo::CFrameLink &link); // replaces the link's hook
    void OnFrame(const Quilo::TraceEvent &event);

    // One trace line, as written to the trace device.
    QString TraceLine(const Quilo::TraceEvent &event) const;

    // Late replies dropped as stale since the count was last taken.
    int TakeDiscarded();
    // Why writing the trace failed (the device's words); empty while it has not.
    QString TraceError() const { return m_traceError; }

private:
    QIODevice *m_trace;
    int m_discarded = 0;
    QString m_traceError;
    QDateTime m_wallStart;
    std::chrono::steady_clock::time_point m_steadyStart;
};

} // namespace QuiloCli
