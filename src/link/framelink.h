#pragma once
// Transactions with the unit on an open line: request frames, data frames with their
// checksum, the reply check and its result codes, and the key presentation. The caller
// opens and closes the line around a series of transactions.

#include "commandtable.h"
#include "comport.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace Quilo {

enum class TraceDirection {
    Sent,      // a frame to the unit; verdict 0 when sent whole, else 1
    Received,  // a reply; verdict is the transaction's result code
    Discarded, // a late reply to an earlier request, dropped for the one after it; verdict -1
};

// What a reply's two header bytes tell. The unit gives them no documented meaning, so the frame
// layer only learns from what it sees: a unit that has echoed command and parameter in them on
// this line is taken to always do so.
enum class ReplyHeader { Unknown, Echo, Stale };

struct TraceEvent {
    TraceDirection direction;
    std::span<const std::uint8_t> bytes; // valid only during the call
    std::chrono::steady_clock::time_point time;
    int verdict;
};

using TraceHook = std::function<void(const TraceEvent &)>;

class CFrameLink
{
public:
    static constexpr int kReplyTries = 3;
    // Requests remembered as unanswered on one open line. A reply later than this many
    // transactions is no longer known by its header.
    static constexpr std::size_t kMaxOutstanding = 32;
    // Largest n whose frame still fits the line's buffers.
    static constexpr std::size_t kMaxData = CComPort::kBufferSize - kFrameOverhead;

    explicit CFrameLink(CComPort &port);
    CFrameLink(const CFrameLink &) = delete;
    CFrameLink &operator=(const CFrameLink &) = delete;

    // The 2-byte request. 0 when both bytes went out, 1 otherwise.
    int SendRequest(std::uint8_t command, std::uint8_t parameter);
    // A reply of n data bytes: ResultOk, ResultTwoBytes, ResultWrongLength or ResultBadChecksum.
    int ReceiveReply(std::size_t n);
    // The n + 4 byte data frame and its same-length answer; adds ResultNotSent and
    // ResultRefused. An n the buffers cannot hold sends nothing and gives ResultNotSent.
    int SendFrame(std::uint8_t command, std::uint8_t parameter, const std::uint8_t *data, std::size_t n);
    // Presents the user key when keyMode is on. 1 when the next request may be sent.
    int Authenticate(int keyMode, const std::uint8_t *key);

    // The data of the last reply (the receive buffer from its third byte on).
    const std::uint8_t *ReplyData() const { return m_port.ReceiveBuffer() + 2; }
    std::span<const std::uint8_t> Reply(std::size_t n) const;
    // Bytes the last reply brought, whole or not.
    std::size_t ReceivedCount() const { return m_nReceived; }

    // True while a reply did not come (or came torn) and it (or its rest) may still turn up.
    bool ReplyOwed() const { return m_bReplyOwed; }
    // True once a good reply on the line opened last echoed its request in the header bytes:
    // from then on a reply that does not echo the request in hand is a stale one.
    bool UnitEchoes() const { return m_echoLine != 0 && m_echoLine == m_port.OpenCount(); }
    // Requests sent on the open line whose reply has not come (or came torn), as remembered.
    std::size_t OutstandingCount() const;
    // Whole replies with a good checksum that the last read dropped as stale.
    int DiscardedCount() const { return m_nDiscarded; }

    void SetTraceHook(TraceHook hook) { m_trace = std::move(hook); }
    CComPort &Port() { return m_port; }

private:
    int ReadReply(std::size_t n);
    std::size_t TakeLastWhole(std::size_t whole);
    bool ChecksumGood(std::size_t n) const; // of the whole reply of n data bytes in the buffer
    ReplyHeader Judge() const;              // of a reply whose checksum is good
    void ForgetOtherLine();                 // the outstanding requests of a line closed since
    bool IsOutstanding(std::uint8_t command, std::uint8_t parameter) const;
    void RememberOutstanding();             // the frame in hand, its reply not come
    bool TakeOutstanding(std::uint8_t command, std::uint8_t parameter); // that reply came late
    int Transmit(std::size_t count);
    void Trace(TraceDirection direction, const std::uint8_t *bytes, std::size_t count, int verdict) const;

    CComPort &m_port;
    TraceHook m_trace;
    std::size_t m_nReceived = 0;
    bool m_bReplyOwed = false;
    std::uint8_t m_owedCommand = 0;   // the request whose reply is owed
    std::uint8_t m_owedParameter = 0;
    std::uint8_t m_sentCommand = 0;   // the frame in hand
    std::uint8_t m_sentParameter = 0;
    std::uint64_t m_echoLine = 0;     // the port's OpenCount() when an echo was seen; 0: never
    // Command and parameter of each unanswered request, oldest first, of the line opened as
    // m_outstandingLine. A ring would save nothing at this size.
    std::array<std::array<std::uint8_t, 2>, kMaxOutstanding> m_outstanding{};
    std::size_t m_nOutstanding = 0;
    std::uint64_t m_outstandingLine = 0;
    int m_nDiscarded = 0;
};

} // namespace Quilo
