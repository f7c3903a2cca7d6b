#pragma once
// The unit's answer to one whole frame, and the changes that writes make to its state.
// Pure: no line, no clock but the state's.

#include "unitstate.h"

#include <QByteArray>

namespace QuiloSim {

class CResponder
{
public:
    // The answer for `frame` (empty: the unit keeps silent). Requests outside the command
    // table, and requests in key mode that no accepted key armed, get no answer.
    QByteArray respond(UnitState &state, const QByteArray &frame);

    // In key mode an accepted key frame (205, 0) arms the next request or key write; this forgets it.
    void disarm() { m_armed = false; }

private:
    QByteArray respondToData(UnitState &state, std::uint8_t command, std::uint8_t param, const QByteArray &data);
    bool takeArming(const UnitState &state);

    bool m_armed = false;
};

// Stores a new clock time sent with command 210; refuses what is not a real BCD date and time.
// The old and new time go to the top of the date modification log.
bool setUnitClock(UnitState &state, const BcdDateTime &bcd);

} // namespace QuiloSim
