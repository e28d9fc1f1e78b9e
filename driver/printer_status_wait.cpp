#include "driver/printer_status_wait.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace quorvane {

bool WaitPrinterReady(const TStatusExchange& AExchange, const TPrinterTypeBase& APrinter,
                      TPrintForecast* AForecast) {
    const std::int64_t doneAt = AForecast ? AForecast->DoneAtMs : 0;
    bool quietWait = false;
    if (doneAt > 0) {
        *AForecast = TPrintForecast{doneAt};
        const std::int64_t quiet = std::min(doneAt - kNearEndLeadMs - AExchange.NowMs(), kLongestQuietWaitMs);
        if (quiet > 0) {
            AExchange.SleepMs(static_cast<int>(quiet));
            quietWait = true;
        }
    }
    const std::int64_t start = AExchange.NowMs();
    for (bool first = true;; first = false) {
        const std::int64_t asked = AExchange.NowMs();
        AExchange.Write(APrinter.StatusQuery());
        std::optional<std::uint8_t> reply;
        for (int attempt = 0; attempt < kStatusReadAttempts && !reply; ++attempt)
            reply = AExchange.ReadByte(kStatusReadIntervalMs);
        const std::int64_t now = AExchange.NowMs();
        const TStatusVerdict verdict = JudgeStatus(APrinter.StatusReasons(reply), now - start);
        if (verdict.Step == TStatusStep::ssReady) {
            if (doneAt > 0) AForecast->ReadyAtFirstQuery = first && quietWait;
            return reply.has_value();
        }
        if (verdict.Step == TStatusStep::ssFail) throw std::runtime_error(verdict.Message);
        if (doneAt > 0) AForecast->LastBusyMs = asked;
        AExchange.SleepMs(doneAt > 0 && now < doneAt + kNearEndTailMs ? kNearEndRequeryMs : kBusyRequeryMs);
    }
}

bool WaitUntilPrinterReady(TPortManager& APort, const TPrinterTypeBase& APrinter, const TWaitClock& AClock,
                           TPrintForecast* AForecast) {
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
    return WaitPrinterReady(exchange, APrinter, AForecast);
}

}  // namespace quorvane
