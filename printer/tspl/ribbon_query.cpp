#include "printer/tspl/ribbon_query.h"

#include "text/ascii_text.h"

namespace quorvane {

std::string SetRibbonCommand(int APrintMethod) {
    return std::string("SET RIBBON ") + (APrintMethod != 0 ? "ON" : "OFF") + "\r\n";
}

bool RibbonSwitchNeededMX(std::string_view AReply, int APrintMethod) {
    const std::string_view state = TrimControls(AReply);
    return (EqualsIgnoringAsciiCase(state, "off") && APrintMethod == 1) ||
           (EqualsIgnoringAsciiCase(state, "on") && APrintMethod == 0);
}

bool RibbonSwitchNeededM(std::string_view AReply, int APrintMethod) {
    const unsigned char flag =
        AReply.size() > kRibbonFlagOffsetM ? static_cast<unsigned char>(AReply[kRibbonFlagOffsetM]) : 0;
    return (flag == 0 && APrintMethod == 1) || (flag == 1 && APrintMethod == 0);
}

bool PrepareRibbon(int AModel, int APrintMethod, const TPrinterExchange& AExchange) {
    bool needed = false;
    if (AModel == 4) {
        AExchange.Write(kRibbonQueryMX);
        AExchange.SleepMs(kRibbonReadIntervalMs);
        needed = RibbonSwitchNeededMX(AExchange.Read(0), APrintMethod);
    } else if (AModel == 3) {
        AExchange.Write(kRibbonQueryM);
        std::string reply;
        for (int attempt = 0; attempt < kRibbonReadAttemptsM && reply.empty(); ++attempt) {
            AExchange.SleepMs(kRibbonReadIntervalMs);
            reply = AExchange.Read(kRibbonReplyLimitM);
        }
        needed = RibbonSwitchNeededM(reply, APrintMethod);
    }
    if (!needed) return false;
    AExchange.Write(SetRibbonCommand(APrintMethod));
    AExchange.Write(kResetCommand);
    AExchange.SleepMs(kRibbonSwitchWaitMs);
    return true;
}

}  // namespace quorvane
