#include "driver/wait_clock.h"

#include <chrono>
#include <thread>

namespace quorvane {

TWaitClock TWaitClock::System() {
    return {
        [] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now().time_since_epoch())
                .count();
        },
        [](int AMs) {
            if (AMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(AMs));
        },
    };
}

}  // namespace quorvane
