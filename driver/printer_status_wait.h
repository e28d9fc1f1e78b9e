#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "driver/wait_clock.h"
#include "printer/printer_type_base.h"
#include "transport/port_manager.h"

namespace quorvane {

inline constexpr int kStatusReadAttempts = 3;
// Each read waits at most this long for the byte, and ends as soon as it is there.
inline constexpr int kStatusReadIntervalMs = 200;
// Pause before asking a printer that reported "printing" again.
inline constexpr int kBusyRequeryMs = 20;
// A printer expected to finish soon is first asked this long before the expected end, and then
// every kNearEndRequeryMs until kNearEndTailMs after it; the next label then waits for at most
// about a millisecond, and a printer is asked a few times per label rather than every 20 ms.
inline constexpr int kNearEndLeadMs = 2;
inline constexpr int kNearEndRequeryMs = 1;
inline constexpr int kNearEndTailMs = 20;
// An expected end further off than this is not waited for without asking: the printer's own
// bound for staying busy applies from the first query, as without an expectation.
inline constexpr std::int64_t kLongestQuietWaitMs = 10000;

// When the printer should be done with what it was sent, and what the wait found.
struct TPrintForecast {
    std::int64_t DoneAtMs = 0;  // on the exchange's clock; 0: no expectation, ask at once
    // Filled in by the wait:
    bool ReadyAtFirstQuery = false;  // after a quiet wait: the printer was done sooner
    // When the last query answered with "printing" was sent: the printer was still busy after
    // it. 0: none was.
    std::int64_t LastBusyMs = 0;
};

// The transport hooks the wait needs; the print job binds them to its open port.
struct TStatusExchange {
    std::function<void(std::string_view)> Write;  // sends bytes
    // Waits at most AWindowMs for one byte, back as soon as it arrives; empty when none came.
    std::function<std::optional<std::uint8_t>(int AWindowMs)> ReadByte;
    std::function<void(int)> SleepMs;
    std::function<std::int64_t()> NowMs;  // a monotonic clock
};

// The check before each label: sends APrinter's status query until its verdict is ready, with
// up to three reads of the reply each time and a short pause before asking again. Throws
// std::runtime_error with the verdict's message; what the hooks throw passes unchanged.
// Returns false when the printer is taken as ready only because it did not answer.
// With an expected end in AForecast, the first query waits until shortly before it.
bool WaitPrinterReady(const TStatusExchange& AExchange, const TPrinterTypeBase& APrinter,
                      TPrintForecast* AForecast = nullptr);

// WaitPrinterReady on the open port: each read of the reply waits for the byte no longer than
// it takes to arrive, so the printer does not stand idle between labels. Transport failures
// pass unchanged. False as above.
bool WaitUntilPrinterReady(TPortManager& APort, const TPrinterTypeBase& APrinter, const TWaitClock& AClock,
                           TPrintForecast* AForecast = nullptr);

}  // namespace quorvane
