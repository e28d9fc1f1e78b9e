#pragma once

#include "tools/host/host_commands.h"

namespace quorvane::host {

// print, test and init: the device work of the driver as the platform runs it, with the
// settings the platform would hand over (the schema's defaults, then --set).
void AddPrintCommands(THostCommandTable& ATable);

}  // namespace quorvane::host
