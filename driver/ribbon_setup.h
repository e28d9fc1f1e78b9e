#pragma once

#include "driver/wait_clock.h"
#include "transport/port_manager.h"

namespace quorvane {

// The ribbon exchange of the models that can switch it (3 Orvel M, 4 Orvel MX) on the open
// port: asks for the ribbon state and, when it differs from APrintMethod, switches it, resets
// the printer and gives it 5 s. Other models send nothing. Returns whether it switched.
bool SetUpRibbon(TPortManager& APort, int AModel, int APrintMethod, const TWaitClock& AClock);

}  // namespace quorvane
