#pragma once
// Time on the simulated wire: 10 bits a byte at 9600 baud, waits to absolute deadlines so that
// sleeping late once does not make every later byte late too.

#include <cstdint>

namespace QuiloSim {

inline constexpr std::int64_t kByteTimeNs = 10LL * 1'000'000'000 / 9600; // 1.0417 ms

std::int64_t monotonicNs(); // CLOCK_MONOTONIC, the clock of every deadline here

// Sleeps until `deadlineNs`; returns false at once when `wakeFd` becomes readable (a stop
// request) before that. wakeFd < 0: not interruptible.
bool sleepUntil(std::int64_t deadlineNs, int wakeFd);

} // namespace QuiloSim
