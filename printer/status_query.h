#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

// The printer's one-byte status query and what its answer means for the next label.
// The exchange itself runs over whatever transport is open; the decisions here depend only on
// the reply byte and the time spent waiting, so they are checked without a printer.

// ESC ! ? — answered with one byte even while the printer is in an error state.
inline constexpr std::string_view kStatusQuery{"\x1B!?", 3};
inline constexpr int kStatusReadAttempts = 3;
// Each read waits at most this long for the byte, and ends as soon as it is there.
inline constexpr int kStatusReadIntervalMs = 200;
// Pause before asking a printer that reported "printing" again.
inline constexpr int kBusyRequeryMs = 20;
// How long a printer that keeps answering "printing" is waited for, from the first query.
inline constexpr std::int64_t kPrintingTimeoutMs = 60000;

// Message for a status byte (bits: 1 cover open, 2 paper jam, 4 paper out, 8 ribbon out,
// 16 paused, 32 printing), by whole value.
std::string GetErrorDescription(std::uint8_t AErrorCode);

enum class TStatusStep { ssReady, ssAskAgain, ssFail };

struct TStatusVerdict {
    TStatusStep Step = TStatusStep::ssReady;
    std::string Message;  // the failure text for ssFail
};

// AReply is empty when no byte arrived after the last read; AElapsedMs is the time since
// the first query of this label.
TStatusVerdict JudgeStatusReply(std::optional<std::uint8_t> AReply, std::int64_t AElapsedMs);

// The transport hooks the wait needs; the print job binds them to its open port.
struct TStatusExchange {
    std::function<void(std::string_view)> Write;  // sends bytes
    // Waits at most AWindowMs for one byte, back as soon as it arrives; empty when none came.
    std::function<std::optional<std::uint8_t>(int AWindowMs)> ReadByte;
    std::function<void(int)> SleepMs;
    std::function<std::int64_t()> NowMs;  // a monotonic clock
};

// The check before each label: queries until the printer is ready. Up to three reads of the
// reply; silence after the third means ready; "printing" is asked again after a short pause
// for a minute from the first query; every other byte fails. Throws std::runtime_error with
// the verdict's message; what the hooks throw passes unchanged.
void WaitPrinterReady(const TStatusExchange& AExchange);

}  // namespace quorvane
