#pragma once
// The whole unit read through the document, every data set and key group once, with the
// traffic counted at the frame layer.

#include "tarveldoc.h"

#include <cstdint>
#include <vector>

namespace QuiloBench {

// 10 bits a byte at 9600 baud.
inline constexpr double kByteSeconds = 10.0 / 9600.0;

// Counts what crosses the line and times every transaction, from the frame layer's trace.
class CLineMeter
{
public:
    explicit CLineMeter(Quilo::CFrameLink &link);
    ~CLineMeter();
    CLineMeter(const CLineMeter &) = delete;
    CLineMeter &operator=(const CLineMeter &) = delete;

    // The next transaction's time counts from now (the start of an operation).
    void mark();

    std::int64_t bytesSent() const { return m_sent; }
    std::int64_t bytesReceived() const { return m_received; }
    std::int64_t bytes() const { return m_sent + m_received; }
    // Per reply: nanoseconds since the previous reply or the last mark().
    const std::vector<std::int64_t> &transactionNs() const { return m_transactionNs; }
    // From a reply to the next frame sent in the same operation: the program's own share.
    const std::vector<std::int64_t> &turnaroundNs() const { return m_turnaroundNs; }

private:
    Quilo::CFrameLink &m_link;
    std::int64_t m_sent = 0;
    std::int64_t m_received = 0;
    std::int64_t m_lastNs = 0;
    bool m_replied = false; // a reply came in this operation
    std::vector<std::int64_t> m_transactionNs;
    std::vector<std::int64_t> m_turnaroundNs;
};

struct CReadOutResult
{
    std::int64_t wallNs = 0;
    std::int64_t cpuNs = 0;  // of the reading thread
    int operations = 0;
    int transactions = 0;    // records and chunks tried
    int failed = 0;          // of those, not read
};

// Reads every data set and group of the unit once into `doc`, timing the whole run.
CReadOutResult readWholeUnit(CTarvelDoc &doc, CLineMeter &meter);

// One data set (with its key range, where it has one), timed.
CReadOutResult readDataSet(CTarvelDoc &doc, CLineMeter &meter, int dataSet, unsigned first = 0,
                           unsigned last = 0, int event = 0);

} // namespace QuiloBench
