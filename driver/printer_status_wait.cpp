#include "driver/printer_status_wait.h"

#include <optional>
#include <stdexcept>

#include "printer/status_query.h"

namespace quorvane {

void WaitUntilPrinterReady(TPortManager& APort, const TWaitClock& AClock) {
    const std::int64_t start = AClock.NowMs();
    const std::string query(kStatusQuery);
    for (;;) {
        APort.WriteToPort(query);
        std::optional<std::uint8_t> reply;
        for (int attempt = 0; attempt < kStatusReadAttempts && !reply; ++attempt) {
            // Bounded like a 200 ms pause followed by the read, but back as soon as the byte is.
            const std::string data = APort.ReadFromPortWithin(1, DeadlineIn(kStatusReplyWindow));
            if (!data.empty()) reply = static_cast<std::uint8_t>(data[0]);
        }
        const TStatusVerdict verdict = JudgeStatusReply(reply, AClock.NowMs() - start);
        if (verdict.Step == TStatusStep::ssReady) return;
        if (verdict.Step == TStatusStep::ssFail) throw std::runtime_error(verdict.Message);
        AClock.SleepMs(kBusyRequeryMs);
    }
}

}  // namespace quorvane
