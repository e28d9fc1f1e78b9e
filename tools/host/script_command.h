#pragma once

#include "tools/host/host_commands.h"

namespace quorvane::host {

// script FILE.xml [--out DIR | -o -]: the printer scripts the driver would send for a label
// document, built in-process by the driver's own code without any printer, with the settings
// the run handed the component (the schema's defaults, then --set).
void AddScriptCommand(THostCommandTable& ATable);

}  // namespace quorvane::host
