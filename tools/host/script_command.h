#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "tools/host/host_commands.h"

namespace quorvane::host {

// script FILE.xml [--set NAME=VALUE]... [--out DIR]: the printer scripts the driver would send
// for a label document, built without any printer. Settings start at the schema's defaults;
// all scripts go to AOut, or one file per label into DIR. False after a failure (told on AErr).
bool WriteScripts(const std::vector<std::string>& AArgs, std::ostream& AOut, std::ostream& AErr);

void AddScriptCommand(THostCommandTable& ATable);

}  // namespace quorvane::host
