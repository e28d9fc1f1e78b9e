#pragma once

#include <string>

#include "transport/deadline.h"
#include "transport/system_reason.h"

namespace quorvane {

// Waits until AFd reports one of AEvents (POLLIN, POLLOUT) or ADeadline passes.
// Returns the events seen (errors and hang-ups included), 0 on time-out, -1 with errno on failure.
// Interrupted waits resume with the time that is left.
int WaitReady(int AFd, short AEvents, TDeadline ADeadline);

}  // namespace quorvane
