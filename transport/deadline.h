#pragma once

#include <chrono>

namespace quorvane {

using TClock = std::chrono::steady_clock;
// A point in time on the monotonic clock by which a wait must end.
using TDeadline = TClock::time_point;

inline TDeadline DeadlineIn(std::chrono::milliseconds AFromNow) { return TClock::now() + AFromNow; }

}  // namespace quorvane
