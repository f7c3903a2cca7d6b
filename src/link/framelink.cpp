#include "framelink.h"

#include <algorithm>
#include <array>

namespace Quilo {

CFrameLink::CFrameLink(CComPort &port)
    : m_port(port)
{
}

int CFrameLink::SendRequest(std::uint8_t command, std::uint8_t parameter)
{
    std::uint8_t *out = m_port.SendBuffer();
    out[0] = command;
    out[1] = parameter;
    return Transmit(2);
}

int CFrameLink::ReceiveReply(std::size_t n)
{
    const int result = ReadReply(n);
    Trace(TraceDirection::Received, m_port.ReceiveBuffer(), m_nReceived, result);
    return result;
}

int CFrameLink::SendFrame(std::uint8_t command, std::uint8_t parameter, const std::uint8_t *data,
                          std::size_t n)
{
    // A frame cut to the buffer would write something wrong to the unit: send nothing.
    if (n > kMaxData || (n > 0 && !data))
        return ResultNotSent;
    std::uint8_t *out = m_port.SendBuffer();
    out[0] = command;
    out[1] = parameter;
    std::copy_n(data, n, out + 2);
    const std::uint16_t sum = checksum(std::span<const std::uint8_t>(out, n + 2));
    out[n + 2] = static_cast<std::uint8_t>(sum & 0xFF);
    out[n + 3] = static_cast<std::uint8_t>(sum >> 8);
    if (Transmit(n + kFrameOverhead) != ResultOk)
        return ResultNotSent;

    int result = ReadReply(n);
    const std::uint8_t *in = m_port.ReceiveBuffer();
    if (result == ResultTwoBytes && in[0] == static_cast<std::uint8_t>(~command)
        && in[1] == static_cast<std::uint8_t>(~parameter))
        result = ResultRefused;
    Trace(TraceDirection::Received, in, m_nReceived, result);
    return result;
}

int CFrameLink::Authenticate(int keyMode, const std::uint8_t *key)
{
    if (!keyMode)
        return 1;
    if (!key)
        return 0;
    return SendFrame(CmdKeyWrite, 0, key, kKeyLength) == ResultOk ? 1 : 0;
}

std::span<const std::uint8_t> CFrameLink::Reply(std::size_t n) const
{
    return {ReplyData(), std::min(n, kMaxData)};
}

int CFrameLink::Transmit(std::size_t count)
{
    ForgetOtherLine();
    // Whatever waits now is excess or late: it must not become the start of this reply.
    m_port.FlushInput();
    m_nReceived = 0;
    m_nDiscarded = 0;
    m_sentCommand = m_port.SendBuffer()[0];
    m_sentParameter = m_port.SendBuffer()[1];
    const std::size_t sent = m_port.Write(count, 1);
    const int result = sent == count ? ResultOk : ResultNotSent;
    Trace(TraceDirection::Sent, m_port.SendBuffer(), count, result);
    return result;
}

bool CFrameLink::ChecksumGood(std::size_t n) const
{
    const std::uint8_t *in = m_port.ReceiveBuffer();
    const std::uint16_t expected = checksum(std::span<const std::uint8_t>(in, n + 2));
    return static_cast<std::uint16_t>(in[n + 2] | (in[n + 3] << 8)) == expected;
}

ReplyHeader CFrameLink::Judge() const
{
    const std::uint8_t *in = m_port.ReceiveBuffer();
    if (in[0] == m_sentCommand && in[1] == m_sentParameter)
        return ReplyHeader::Echo;
    // Exactly the owed request's command and parameter: that reply, come late.
    if (m_bReplyOwed && in[0] == m_owedCommand && in[1] == m_owedParameter)
        return ReplyHeader::Stale;
    // The same for any earlier request still unanswered: a unit slower than two transactions
    // answers a request while the one after next is in hand, and that answer has the right
    // length and a good checksum. Whether the unit echoes is not known yet at that point.
    if (IsOutstanding(in[0], in[1]))
        return ReplyHeader::Stale;
    return UnitEchoes() ? ReplyHeader::Stale : ReplyHeader::Unknown;
}

int CFrameLink::ReadReply(std::size_t n)
{
    if (n > kMaxData) {
        m_nReceived = 0;
        return ResultWrongLength;
    }
    const std::size_t whole = n + kFrameOverhead;
    std::size_t got = 0;
    bool good = false; // of a whole reply: its checksum
    ReplyHeader header = ReplyHeader::Unknown;
    // The attempts of one Read(whole, kReplyTries), taken one by one so that a stale reply can
    // be dropped and the wait go on within the same time-outs.
    for (int attempt = 0; attempt < kReplyTries; ++attempt) {
        got = m_port.Read(whole, 1);
        if (got == 0)
            continue;
        // An earlier reply is owed: it never came, or came torn. If it (or its rest) turns up
        // now, ours follows right behind it, whatever the two lengths: when more bytes follow a
        // whole read at once, ours is the last `whole` bytes before the line falls quiet.
        if (m_bReplyOwed && got == whole) {
            const int interval = static_cast<int>(m_port.Timeouts().readInterval);
            if (m_port.InputFollows(interval))
                got = TakeLastWhole(whole);
        }
        if (got == whole) {
            // a damaged frame fails on its own; its header proves nothing
            good = ChecksumGood(n);
            header = good ? Judge() : ReplyHeader::Unknown;
            if (header == ReplyHeader::Stale) {
                const std::uint8_t *in = m_port.ReceiveBuffer();
                if (m_bReplyOwed && in[0] == m_owedCommand && in[1] == m_owedParameter)
                    m_bReplyOwed = false; // it is in now
                TakeOutstanding(in[0], in[1]);
                Trace(TraceDirection::Discarded, in, whole, -1);
                ++m_nDiscarded;
                got = 0;
                continue;
            }
        }
        break;
    }
    // Two bytes are an answer of their own (a refusal); anything else short may have a rest.
    const bool owed = got != whole && got != 2 && !m_port.LineAborted();
    if (owed) {
        m_owedCommand = m_sentCommand;
        m_owedParameter = m_sentParameter;
        RememberOutstanding();
    }
    m_bReplyOwed = owed;
    m_nReceived = got;

    if (got != whole)
        return got == 2 ? ResultTwoBytes : ResultWrongLength;
    if (header == ReplyHeader::Echo)
        m_echoLine = m_port.OpenCount();
    return good ? ResultOk : ResultBadChecksum;
}

std::size_t CFrameLink::OutstandingCount() const
{
    return m_outstandingLine == m_port.OpenCount() ? m_nOutstanding : 0;
}

void CFrameLink::ForgetOtherLine()
{
    // A reply sent to another open line (perhaps another port) says nothing about this one.
    if (m_outstandingLine != m_port.OpenCount()) {
        m_nOutstanding = 0;
        m_outstandingLine = m_port.OpenCount();
    }
}

bool CFrameLink::IsOutstanding(std::uint8_t command, std::uint8_t parameter) const
{
    const std::size_t count = OutstandingCount();
    for (std::size_t i = 0; i < count; ++i)
        if (m_outstanding[i][0] == command && m_outstanding[i][1] == parameter)
            return true;
    return false;
}

void CFrameLink::RememberOutstanding()
{
    ForgetOtherLine();
    if (m_nOutstanding == m_outstanding.size()) {
        // Full: the oldest is the least likely still to come.
        std::copy(m_outstanding.begin() + 1, m_outstanding.end(), m_outstanding.begin());
        --m_nOutstanding;
    }
    m_outstanding[m_nOutstanding++] = {m_sentCommand, m_sentParameter};
}

bool CFrameLink::TakeOutstanding(std::uint8_t command, std::uint8_t parameter)
{
    const std::size_t count = OutstandingCount();
    const auto begin = m_outstanding.begin();
    const auto end = begin + static_cast<std::ptrdiff_t>(count);
    // The oldest of equal requests: replies come in the order of their requests.
    const auto it = std::find(begin, end, std::array<std::uint8_t, 2>{command, parameter});
    if (it == end)
        return false;
    std::copy(it + 1, end, it);
    --m_nOutstanding;
    return true;
}

std::size_t CFrameLink::TakeLastWhole(std::size_t whole)
{
    std::array<std::uint8_t, CComPort::kBufferSize> first{};
    std::copy_n(m_port.ReceiveBuffer(), whole, first.begin());
    const std::size_t more = m_port.Read(whole, 1);
    std::uint8_t *in = m_port.ReceiveBuffer();
    if (more == 0) {
        if (m_port.LineAborted())
            return 0;
        std::copy_n(first.begin(), whole, in); // nothing came after all: the first read stands
        return whole;
    }
    Trace(TraceDirection::Discarded, first.data(), more, -1);
    // The stream was first[0..whole) then in[0..more); keep its last `whole` bytes.
    std::copy_backward(in, in + more, in + whole);
    std::copy_n(first.begin() + static_cast<std::ptrdiff_t>(more), whole - more, in);
    return whole;
}

void CFrameLink::Trace(TraceDirection direction, const std::uint8_t *bytes, std::size_t count,
                       int verdict) const
{
    if (!m_trace)
        return;
    m_trace(TraceEvent{direction, std::span<const std::uint8_t>(bytes, count),
                       std::chrono::steady_clock::now(), verdict});
}

} // namespace Quilo
