#pragma once

#include "tools/host/host_commands.h"

namespace quorvane::host {

// devices: what the settings' choice lists offer, with the hardware ids of the USB printers.
// Kept apart from the printing commands: it reads the device lists itself, so it needs the
// transport, which the glibc-only host of the install test does not link.
void AddDevicesCommand(THostCommandTable& ATable);

}  // namespace quorvane::host
