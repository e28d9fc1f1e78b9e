#include "transport/posix_io.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

namespace quorvane {

int WaitReady(int AFd, short AEvents, TDeadline ADeadline) {
    for (;;) {
        // Long waits (no deadline at all is TDeadline::max()) go in slices poll() can take.
        constexpr std::chrono::milliseconds kSlice = std::chrono::hours(1);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(ADeadline - TClock::now());
        const int timeout = static_cast<int>(std::clamp(left, std::chrono::milliseconds(0), kSlice).count());
        pollfd p{AFd, AEvents, 0};
        const int n = ::poll(&p, 1, timeout);
        if (n > 0) return p.revents;
        if (n == 0) {
            if (TClock::now() >= ADeadline) return 0;
            continue;  // woke a little early: poll rounds to whole milliseconds
        }
        if (errno != EINTR) return -1;
    }
}

}  // namespace quorvane
