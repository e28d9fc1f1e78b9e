#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "printer/printer_type_base.h"

namespace quorvane {

// Ribbon handling of the two models that can switch between direct thermal and thermal
// transfer: ask the printer which mode it is in, and switch when it differs from PrintMethod.

// Orvel MX (model 4): ESC FS, then the firmware's getval request for "sw_ribbon".
inline constexpr std::string_view kRibbonQueryMX{"\x1B\x1C& V1 getval \"sw_ribbon\"\r\n", 27};
// Orvel M (model 3): the configuration dump; byte 76 holds the ribbon flag.
inline constexpr std::string_view kRibbonQueryM{"ZZZCR\n", 6};
inline constexpr std::size_t kRibbonReplyLimitM = 256;
inline constexpr std::size_t kRibbonFlagOffsetM = 76;
inline constexpr int kRibbonReadIntervalMs = 200;
inline constexpr int kRibbonReadAttemptsM = 3;
inline constexpr int kRibbonSwitchWaitMs = 5000;

// ESC ! C, no line end.
inline constexpr std::string_view kResetCommand{"\x1B!C", 3};

// "SET RIBBON ON|OFF" with CR LF: ON for every print method but 0 (direct thermal).
std::string SetRibbonCommand(int APrintMethod);

// Decisions on the printers' replies; a reply of any other form leaves the ribbon alone.
bool RibbonSwitchNeededMX(std::string_view AReply, int APrintMethod);
bool RibbonSwitchNeededM(std::string_view AReply, int APrintMethod);

// Runs the query of AModel (3 or 4; other models send nothing) and switches the ribbon mode
// when needed. Returns whether it switched.
bool PrepareRibbon(int AModel, int APrintMethod, const TPrinterExchange& AExchange);

}  // namespace quorvane
