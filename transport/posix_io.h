#pragma once

#include <chrono>
#include <string>

namespace quorvane {

using TClock = std::chrono::steady_clock;
// A point in time on the monotonic clock by which a wait must end.
using TDeadline = TClock::time_point;

inline TDeadline DeadlineIn(std::chrono::milliseconds AFromNow) { return TClock::now() + AFromNow; }

// Waits until AFd reports one of AEvents (POLLIN, POLLOUT) or ADeadline passes.
// Returns the events seen (errors and hang-ups included), 0 on time-out, -1 with errno on failure.
// Interrupted waits resume with the time that is left.
int WaitReady(int AFd, short AEvents, TDeadline ADeadline);

// The system text of errno (or of AError).
std::string SystemErrorText();
std::string SystemErrorText(int AError);

// Why a device or connection failed, for people: a Russian reason with the system text in
// brackets ("нет прав доступа (Permission denied)"); for a refused access it adds how to get
// access through AGroup or the udev rule. Unknown errors give the system text alone.
std::string SystemReason(int AError, const char* AGroup = nullptr);

}  // namespace quorvane
