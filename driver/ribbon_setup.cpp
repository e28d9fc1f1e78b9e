#include "driver/ribbon_setup.h"

#include "printer/ribbon_query.h"

namespace quorvane {

bool SetUpRibbon(TPortManager& APort, int AModel, int APrintMethod, const TWaitClock& AClock) {
    const TRibbonExchange exchange{
        [&APort](std::string_view ABytes) { APort.WriteToPort(std::string(ABytes)); },
        // 0 asks for everything the printer has to say; otherwise a counted read.
        [&APort](std::size_t AMaxBytes) { return APort.ReadFromPort(static_cast<int>(AMaxBytes)); },
        AClock.SleepMs,
    };
    return PrepareRibbon(AModel, APrintMethod, exchange);
}

}  // namespace quorvane
