#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "printer/printer_type_base.h"

namespace quorvane {

// The printer's one-byte status query and what its answer means for the next label.
// The decisions here depend only on the reply byte and the time spent waiting, so they are
// checked without a printer.

// ESC ! ? — answered with one byte even while the printer is in an error state.
inline constexpr std::string_view kStatusQuery{"\x1B!?", 3};
// How long a printer that keeps answering "printing" is waited for, from the first query.
inline constexpr std::int64_t kPrintingTimeoutMs = 60000;

// Message for a status byte (bits: 1 cover open, 2 paper jam, 4 paper out, 8 ribbon out,
// 16 paused, 32 printing), by whole value.
std::string GetErrorDescription(std::uint8_t AErrorCode);

// AReply is empty when no byte arrived after the last read; AElapsedMs is the time since
// the first query of this label. Silence means ready; "printing" is asked again for a minute
// from the first query; every other byte fails.
TStatusVerdict JudgeStatusReply(std::optional<std::uint8_t> AReply, std::int64_t AElapsedMs);

}  // namespace quorvane
