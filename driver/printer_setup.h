#pragma once

#include "driver/wait_clock.h"
#include "printer/printer_type_base.h"
#include "transport/port_manager.h"

namespace quorvane {

// APrinter's set-up exchange (InitializePrinter) on the open port, such as switching the ribbon
// mode to the print method. Returns whether it changed the printer.
bool SetUpPrinter(TPortManager& APort, const TPrinterTypeBase& APrinter, const TWaitClock& AClock);

}  // namespace quorvane
