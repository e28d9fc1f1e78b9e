#pragma once

#include <chrono>

#include "driver/wait_clock.h"
#include "transport/port_manager.h"

namespace quorvane {

// How long each of the three reads of the status reply may wait for the byte before the
// transport's own read bound applies: the printer's 200 ms, but no longer than it takes.
inline constexpr std::chrono::milliseconds kStatusReplyWindow{200};
// Pause before asking a printer that reported "printing" again.
inline constexpr int kBusyRequeryMs = 20;

// The check before each label: sends the status query on the open port and waits while the
// printer prints. Every decision is the fixed-pause exchange's (three tries, silence means
// ready, error bytes fail with their text, "printing" for more than a minute from the first
// query fails), but a try ends the moment the byte arrives instead of after a fixed 200 ms,
// so the printer does not stand idle between labels. Throws std::runtime_error with the
// status text; transport failures pass unchanged.
void WaitUntilPrinterReady(TPortManager& APort, const TWaitClock& AClock);

}  // namespace quorvane
