#include "responder.h"

#include "commandtable.h"

#include <algorithm>
#include <span>

namespace QuiloSim {

bool setUnitClock(UnitState &state, const BcdDateTime &bcd)
{
    const auto dateTime = dateTimeFromBcd(bcd);
    if (!dateTime)
        return false;
    std::move_backward(state.dateLog.begin(), state.dateLog.end() - 1, state.dateLog.end());
    state.dateLog[0] = {bcdDateTime(state.clock.now()), bcd};
    state.clock.set(*dateTime);
    return true;
}

bool CResponder::takeArming(const UnitState &state)
{
    if (!state.userKey)
        return true;
    const bool armed = m_armed;
    m_armed = false;
    return armed;
}

QByteArray CResponder::respond(UnitState &state, const QByteArray &frame)
{
    if (frame.size() < 2)
        return {};
    const auto command = static_cast<std::uint8_t>(frame[0]);
    const auto param = static_cast<std::uint8_t>(frame[1]);
    const Quilo::CommandInfo *info = Quilo::findCommand(command, param);
    if (!info)
        return {};
    if (info->kind == Quilo::FrameKind::Request) {
        if (frame.size() != 2 || !takeArming(state))
            return {};
        return buildReply(command, param, replyData(state, command, param));
    }
    const auto n = static_cast<qsizetype>(Quilo::dataLength(command, param));
    if (frame.size() != n + 4)
        return {};
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(frame.constData());
    const std::uint16_t sent = static_cast<std::uint16_t>(bytes[n + 2] | bytes[n + 3] << 8);
    if (Quilo::checksum({bytes, static_cast<std::size_t>(n + 2)}) != sent)
        return refusal(command, param);
    return respondToData(state, command, param, frame.mid(2, n));
}

QByteArray CResponder::respondToData(UnitState &state, std::uint8_t command, std::uint8_t param,
                                     const QByteArray &data)
{
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(data.constData());
    const QByteArray ack = buildReply(command, param, data); // the data echoed
    if (command == Quilo::CmdKeyWrite && param == 0) {
        if (!state.userKey)
            return ack; // nothing to check outside key mode
        m_armed = std::equal(state.userKey->begin(), state.userKey->end(), bytes);
        return m_armed ? ack : refusal(command, param);
    }
    if (command == Quilo::CmdKeyWrite) {
        if (!takeArming(state))
            return refusal(command, param);
        std::copy_n(bytes, state.keyTable[param - 1u].size(), state.keyTable[param - 1u].begin());
        return ack;
    }
    if (command == Quilo::CmdSetDateTime) {
        // Setting the clock needs no key: the program sends none before it.
        BcdDateTime bcd{};
        std::copy_n(bytes, bcd.size(), bcd.begin());
        return setUnitClock(state, bcd) ? ack : refusal(command, param);
    }
    return {};
}

} // namespace QuiloSim
