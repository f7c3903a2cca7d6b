#include "framereader.h"

#include "commandtable.h"

namespace QuiloSim {
namespace {

bool startsFrame(std::uint8_t code)
{
    for (const Quilo::CommandInfo &c : Quilo::kCommands)
        if (code >= c.firstCode && code <= c.lastCode)
            return true;
    return false;
}

bool isDataCode(std::uint8_t code)
{
    for (const Quilo::CommandInfo &c : Quilo::kCommands)
        if (code >= c.firstCode && code <= c.lastCode && c.kind == Quilo::FrameKind::Data)
            return true;
    return false;
}

} // namespace

const char *frameTypeName(FrameType type)
{
    switch (type) {
    case FrameType::Request: return "request";
    case FrameType::Data: return "data";
    case FrameType::Unknown: return "unknown";
    case FrameType::Noise: return "noise";
    case FrameType::Partial: return "partial";
    }
    return "?";
}

CFrameReader::CFrameReader(std::int64_t interByteTimeoutNs) : m_gapNs(interByteTimeoutNs) {}

void CFrameReader::reset()
{
    m_pending.clear();
    m_noise.clear();
    m_expected = 0;
    m_discarding = false;
}

std::optional<std::int64_t> CFrameReader::deadline() const
{
    if (m_pending.isEmpty() && m_noise.isEmpty() && !m_discarding)
        return std::nullopt;
    return m_lastNs + m_gapNs;
}

QList<Frame> CFrameReader::expire(std::int64_t nowNs)
{
    QList<Frame> out;
    const auto due = deadline();
    if (!due || nowNs < *due)
        return out;
    flushNoise(out);
    if (!m_pending.isEmpty())
        out.append({FrameType::Partial, m_pending, m_lastNs});
    m_pending.clear();
    m_expected = 0;
    m_discarding = false;
    return out;
}

QList<Frame> CFrameReader::feed(const QByteArray &bytes, std::int64_t timeNs)
{
    QList<Frame> out;
    if (!bytes.isEmpty())
        out = expire(timeNs); // the silence before these bytes ended whatever was pending
    for (char b : bytes)
        take(b, timeNs, out);
    if (m_pending.isEmpty() && !m_discarding)
        flushNoise(out);
    return out;
}

void CFrameReader::flushNoise(QList<Frame> &out)
{
    if (!m_noise.isEmpty())
        out.append({FrameType::Noise, m_noise, m_lastNs});
    m_noise.clear();
}

void CFrameReader::take(char byte, std::int64_t timeNs, QList<Frame> &out)
{
    m_lastNs = timeNs;
    const auto u = static_cast<std::uint8_t>(byte);
    if (m_discarding) {
        m_noise.append(byte);
        return;
    }
    if (m_pending.isEmpty()) {
        if (!startsFrame(u)) {
            m_noise.append(byte);
            return;
        }
        flushNoise(out);
        m_pending.append(byte);
        return;
    }
    m_pending.append(byte);
    if (m_pending.size() == 2) {
        const auto code = static_cast<std::uint8_t>(m_pending[0]);
        const Quilo::CommandInfo *info = Quilo::findCommand(code, u);
        if (!info) {
            out.append({FrameType::Unknown, m_pending, timeNs});
            m_discarding = isDataCode(code);
            m_pending.clear();
            return;
        }
        m_expected = info->kind == Quilo::FrameKind::Request
                         ? 2
                         : Quilo::dataLength(code, u) + Quilo::kFrameOverhead;
    }
    if (static_cast<std::size_t>(m_pending.size()) == m_expected) {
        out.append({m_expected == 2 ? FrameType::Request : FrameType::Data, m_pending, timeNs});
        m_pending.clear();
        m_expected = 0;
    }
}

} // namespace QuiloSim
