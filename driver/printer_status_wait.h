#pragma once

#include "driver/wait_clock.h"
#include "printer/status_query.h"
#include "transport/port_manager.h"

namespace quorvane {

// WaitPrinterReady on the open port: each read of the reply waits for the byte no longer than
// it takes to arrive, so the printer does not stand idle between labels. Throws
// std::runtime_error with the status text; transport failures pass unchanged.
void WaitUntilPrinterReady(TPortManager& APort, const TWaitClock& AClock);

}  // namespace quorvane
