#include "pacing.h"

#include <cerrno>
#include <ctime>

#include <poll.h>

namespace QuiloSim {

std::int64_t monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

bool sleepUntil(std::int64_t deadlineNs, int wakeFd)
{
    // Long waits poll the stop descriptor; the last 2 ms are slept to the exact deadline.
    constexpr std::int64_t kFine = 2'000'000;
    for (;;) {
        const std::int64_t left = deadlineNs - monotonicNs();
        if (left <= 0)
            return true;
        if (left > kFine && wakeFd >= 0) {
            pollfd p{wakeFd, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>((left - kFine) / 1'000'000) + 1) > 0)
                return false;
            continue;
        }
        const timespec ts{static_cast<time_t>(deadlineNs / 1'000'000'000),
                          static_cast<long>(deadlineNs % 1'000'000'000)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
        }
        return true;
    }
}

} // namespace QuiloSim
