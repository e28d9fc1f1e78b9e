#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "printer/printer_status.h"

namespace quorvane {

// The printer's one-byte status query and the reasons its answer gives.
// The reading depends only on the reply byte, so it is checked without a printer.

// ESC ! ? — answered with one byte even while the printer is in an error state.
inline constexpr std::string_view kStatusQuery{"\x1B!?", 3};

// Message for a status byte (bits: 1 cover open, 2 paper jam, 4 paper out, 8 ribbon out,
// 16 paused, 32 printing), by whole value.
std::string GetErrorDescription(std::uint8_t AErrorCode);

// The reasons of a reply: each of the six low bits its own, bit 7 a fault the printer does not
// name, bit 6 no state we know. AReply is empty when no byte arrived: silence means ready.
TPrinterReasons StatusReplyReasons(std::optional<std::uint8_t> AReply);

}  // namespace quorvane
