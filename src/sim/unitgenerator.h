#pragma once
// A plausible unit made from a seed: the same seed gives the same unit.

#include "unitstate.h"

namespace QuiloSim {

// The machine was installed on 1 January five years before the clock's year and has played
// every day since: the logs and counters are sums of the same days, so they agree.
UnitState generateState(std::uint32_t seed);

} // namespace QuiloSim
