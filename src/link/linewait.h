#pragma once
// The line's clock and its one wait: a monotonic time in nanoseconds and poll() with a time-out,
// shared by the serial and the network line.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <time.h>

namespace Quilo::Serial {

inline std::int64_t nowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

constexpr std::int64_t msToNs(std::uint64_t ms)
{
    return static_cast<std::int64_t>(ms) * 1000000;
}

// Waits for `events` at most `ns` (none when negative); returns the revents, 0 on time-out,
// -1 on error.
inline int waitFor(int fd, short events, std::int64_t ns)
{
    pollfd p{fd, events, 0};
    const std::int64_t clamped = std::max<std::int64_t>(ns, 0);
    timespec ts{static_cast<time_t>(clamped / 1000000000), static_cast<long>(clamped % 1000000000)};
    for (;;) {
        const int r = ppoll(&p, 1, &ts, nullptr);
        if (r > 0)
            return p.revents;
        if (r == 0)
            return 0;
        if (errno != EINTR)
            return -1;
    }
}

} // namespace Quilo::Serial
