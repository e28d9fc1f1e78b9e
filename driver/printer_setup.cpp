#include "driver/printer_setup.h"

namespace quorvane {

bool SetUpPrinter(TPortManager& APort, const TPrinterTypeBase& APrinter, const TWaitClock& AClock) {
    const TPrinterExchange exchange{
        [&APort](std::string_view ABytes) { APort.WriteToPort(std::string(ABytes)); },
        // 0 asks for everything the printer has to say; otherwise a counted read.
        [&APort](std::size_t AMaxBytes) { return APort.ReadFromPort(static_cast<int>(AMaxBytes)); },
        AClock.SleepMs,
    };
    return APrinter.SetUpPrinter(exchange);
}

}  // namespace quorvane
