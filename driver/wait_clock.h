#pragma once

#include <cstdint>
#include <functional>

namespace quorvane {

// The clock and the pause of the driver's printer waits. Tests hand in their own, so that the
// minute a busy printer is given and the pause after a ribbon switch are checked at once.
struct TWaitClock {
    std::function<std::int64_t()> NowMs;  // monotonic milliseconds
    std::function<void(int)> SleepMs;

    // The steady clock and a real sleep.
    static TWaitClock System();
};

}  // namespace quorvane
