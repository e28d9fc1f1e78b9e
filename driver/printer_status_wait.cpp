#include "driver/printer_status_wait.h"

#include <chrono>
#include <stdexcept>

namespace quorvane {

bool WaitPrinterReady(const TStatusExchange& AExchange, const TPrinterTypeBase& APrinter) {
    const std::int64_t start = AExchange.NowMs();
    for (;;) {
        AExchange.Write(APrinter.StatusQuery());
        std::optional<std::uint8_t> reply;
        for (int attempt = 0; attempt < kStatusReadAttempts && !reply; ++attempt)
            reply = AExchange.ReadByte(kStatusReadIntervalMs);
        const TStatusVerdict verdict = APrinter.JudgeStatus(reply, AExchange.NowMs() - start);
        if (verdict.Step == TStatusStep::ssReady) return reply.has_value();
        if (verdict.Step == TStatusStep::ssFail) throw std::runtime_error(verdict.Message);
        AExchange.SleepMs(kBusyRequeryMs);
    }
}

bool WaitUntilPrinterReady(TPortManager& APort, const TPrinterTypeBase& APrinter, const TWaitClock& AClock) {
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
    return WaitPrinterReady(exchange, APrinter);
}

}  // namespace quorvane
