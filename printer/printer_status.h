#pragma once

#include <cstdint>
#include <string>

namespace quorvane {

// Why a printer cannot take the next label, in no language's terms: a language reads its status
// reply into a set of these, and the driver decides on the set.
enum TPrinterReason : std::uint16_t {
    prCoverOpen = 1 << 0,
    prPaperJam = 1 << 1,
    prPaperOut = 1 << 2,
    prRibbonOut = 1 << 3,
    prPaused = 1 << 4,
    prBusy = 1 << 5,     // still printing what it was sent
    prFault = 1 << 6,    // a fault the printer does not name
    prUnknown = 1 << 7,  // a state the language cannot read
};
// No reason at all: ready, also when the printer did not answer.
using TPrinterReasons = std::uint16_t;

// How long a printer that keeps reporting only prBusy is waited for, from the first query.
inline constexpr std::int64_t kPrintingTimeoutMs = 60000;

enum class TStatusStep { ssReady, ssAskAgain, ssFail };

// What a status means for the next label.
struct TStatusVerdict {
    TStatusStep Step = TStatusStep::ssReady;
    std::string Message;  // the failure text for ssFail
};

// No reason is ready; prBusy alone is asked again until kPrintingTimeoutMs after the label's
// first query (AElapsedMs); any other set fails with its text, a set with no text of its own
// with the advice to check the cover and supplies.
TStatusVerdict JudgeStatus(TPrinterReasons AReasons, std::int64_t AElapsedMs);

}  // namespace quorvane
