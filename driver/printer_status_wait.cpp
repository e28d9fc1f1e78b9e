#include "driver/printer_status_wait.h"

#include <chrono>
#include <optional>

namespace quorvane {

void WaitUntilPrinterReady(TPortManager& APort, const TWaitClock& AClock) {
    const TStatusExchange exchange{
        [&APort](std::string_view ABytes) { APort.WriteToPort(std::string(ABytes)); },
        [&APort](int AWindowMs) -> std::optional<std::uint8_t> {
            const std::string data =
                APort.ReadFromPortWithin(1, DeadlineIn(std::chrono::milliseconds(AWindowMs)));
            if (data.empty()) return std::nullopt;
            return static_cast<std::uint8_t>(data[0]);
        },
        AClock.SleepMs,
        AClock.NowMs,
    };
    WaitPrinterReady(exchange);
}

}  // namespace quorvane
