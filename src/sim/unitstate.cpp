#include "unitstate.h"

#include "codepage.h"
#include "commandtable.h"

#include <span>

namespace QuiloSim {
namespace {

void appendBytes(QByteArray &out, std::span<const std::uint8_t> bytes)
{
    for (std::uint8_t b : bytes)
        out.append(static_cast<char>(b));
}

void appendWord(QByteArray &out, std::uint16_t v)
{
    out.append(static_cast<char>(v & 0xFF));
    out.append(static_cast<char>(v >> 8));
}

void appendDword(QByteArray &out, std::uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.append(static_cast<char>((v >> shift) & 0xFF));
}

QByteArray chunkOf(const QByteArray &record, std::uint8_t chunk)
{
    qsizetype offset = 0;
    for (std::size_t k = 1; k < chunk; ++k)
        offset += Quilo::kChunkLengths[k - 1];
    return record.mid(offset, Quilo::kChunkLengths[chunk - 1u]);
}

template<typename T, std::size_t N>
QByteArray recordAt(const std::array<T, N> &records, std::size_t index)
{
    return index < N ? encode(records[index]) : QByteArray();
}

} // namespace

QDateTime UnitClock::now() const
{
    const auto elapsed = std::chrono::steady_clock::now() - setAt;
    return setTo.addSecs(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count());
}

void UnitClock::set(const QDateTime &dateTime)
{
    setTo = dateTime;
    setAt = std::chrono::steady_clock::now();
}

QByteArray encodeText(const QString &text, int width)
{
    QByteArray bytes = Quilo::EncodeCp1250(text).left(width);
    bytes.append(width - bytes.size(), '\0');
    return bytes;
}

QByteArray encode(const DailyRecord &r)
{
    QByteArray out;
    appendBytes(out, r.date);
    for (std::uint32_t v : {r.cashIn, r.cashOut, r.stake, r.win, r.winMax})
        appendDword(out, v);
    appendBytes(out, r.winMaxTime);
    return out;
}

QByteArray encode(const PeriodRecord &r)
{
    QByteArray out;
    out.append(static_cast<char>(r.year));
    out.append(static_cast<char>(r.period));
    for (std::uint32_t v : {r.cashIn, r.cashOut, r.stake, r.win})
        appendDword(out, v);
    return out;
}

QByteArray encode(const YearlyRecord &r)
{
    QByteArray out;
    out.append(static_cast<char>(r.year));
    for (std::uint32_t v : {r.cashIn, r.cashOut, r.stake, r.win})
        appendDword(out, v);
    return out;
}

QByteArray encode(const DateLogRecord &r)
{
    QByteArray out;
    appendBytes(out, r.oldDate);
    appendBytes(out, r.newDate);
    return out;
}

QByteArray encode(const KeyLogRecord &r)
{
    QByteArray out;
    appendBytes(out, r.key);
    appendBytes(out, r.start);
    appendBytes(out, r.end);
    return out;
}

QByteArray encode(const Counters &r)
{
    // The WinMax time comes before the game counter on the line.
    QByteArray out;
    for (std::uint32_t v : {r.cashIn, r.cashOut, r.stake, r.win, r.winMax})
        appendDword(out, v);
    appendBytes(out, r.winMaxTime);
    appendDword(out, r.games);
    return out;
}

QByteArray encode(const Config &r)
{
    QByteArray out;
    const QString *texts[] = {&r.type,     &r.mfgNo,   &r.mfgDate, &r.licenceNo, &r.licenceExpiry,
                              &r.cardMfgNo, &r.omhId,  &r.certCode, &r.certDate, &r.labCode,
                              &r.certificateNo, &r.name, &r.address};
    for (std::size_t i = 0; i < std::size(texts); ++i)
        out.append(encodeText(*texts[i], Quilo::kChunkLengths[i]));
    appendWord(out, r.counterStep);
    for (std::uint32_t v : {r.initialIn, r.initialOut, r.initialStake})
        appendDword(out, v);
    out.append(encodeText(r.note, Quilo::kChunkLengths[17]));
    return out;
}

QByteArray encode(const ConfEvent &r)
{
    QByteArray out = encode(r.config);
    for (std::uint32_t v : {r.in, r.out, r.stake, r.win, r.games})
        appendDword(out, v);
    appendBytes(out, r.changeTime);
    return out;
}

QByteArray replyData(const UnitState &state, std::uint8_t command, std::uint8_t param)
{
    const Quilo::CommandInfo *info = Quilo::findCommand(command, param);
    if (!info || info->kind != Quilo::FrameKind::Request)
        return {};
    const std::size_t index = param - 1u; // record and chunk numbers count from 1
    switch (command) {
    case Quilo::CmdDaily:
        return recordAt(state.daily, index);
    case Quilo::CmdMonthly:
        return recordAt(state.monthly, index);
    case Quilo::CmdQuarterly:
        return recordAt(state.quarterly, index);
    case Quilo::CmdYearly:
        return recordAt(state.yearly, index);
    case Quilo::CmdConfig:
        return chunkOf(encode(state.config), param);
    case Quilo::CmdKey: {
        QByteArray out;
        appendBytes(out, param == 0 ? state.currentKey : state.keyTable[index % 192]);
        return out;
    }
    case Quilo::CmdCounters:
        return encode(state.counters);
    case Quilo::CmdDateTime: {
        QByteArray out;
        appendBytes(out, bcdDateTime(state.clock.now()));
        return out;
    }
    case Quilo::CmdDateLog:
        return recordAt(state.dateLog, index);
    case Quilo::CmdKeyLogSzf:
        return recordAt(state.keyLogs, 20 + index);
    case Quilo::CmdKeyLogOmh:
        return recordAt(state.keyLogs, index);
    default:
        break;
    }
    if (command >= Quilo::CmdConfEventFirst && command <= Quilo::CmdConfEventLast)
        return chunkOf(encode(state.confEvents[command - Quilo::CmdConfEventFirst]), param);
    return {};
}

QByteArray buildReply(std::uint8_t header0, std::uint8_t header1, const QByteArray &data)
{
    QByteArray out;
    out.reserve(data.size() + 4);
    out.append(static_cast<char>(header0));
    out.append(static_cast<char>(header1));
    out.append(data);
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(out.constData());
    appendWord(out, Quilo::checksum({bytes, static_cast<std::size_t>(out.size())}));
    return out;
}

QByteArray refusal(std::uint8_t command, std::uint8_t param)
{
    QByteArray out;
    out.append(static_cast<char>(~command & 0xFF));
    out.append(static_cast<char>(~param & 0xFF));
    return out;
}

} // namespace QuiloSim
