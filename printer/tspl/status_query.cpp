#include "printer/tspl/status_query.h"

#include <iterator>

#include "errors/messages.h"

namespace quorvane {

std::string GetErrorDescription(std::uint8_t AErrorCode) {
    switch (AErrorCode) {
        case 1: return MessageText(TMessage::StatusCoverOpen);
        case 2: return MessageText(TMessage::StatusPaperJam);
        case 3: return MessageText(TMessage::StatusCoverOpenPaperJam);
        case 4: return MessageText(TMessage::StatusPaperOut);
        case 5: return MessageText(TMessage::StatusPaperOutCoverOpen);
        case 8: return MessageText(TMessage::StatusRibbonOut);
        case 9: return MessageText(TMessage::StatusRibbonOutCoverOpen);
        case 10: return MessageText(TMessage::StatusRibbonOutPaperJam);
        case 11: return MessageText(TMessage::StatusRibbonOutPaperJamCoverOpen);
        case 12: return MessageText(TMessage::StatusRibbonAndPaperOut);
        case 13: return MessageText(TMessage::StatusRibbonAndPaperOutCoverOpen);
        case 16: return MessageText(TMessage::StatusPaused);
        case 32: return MessageText(TMessage::StatusPrinting);
        default: return MessageText(TMessage::UnknownError);
    }
}

TPrinterReasons StatusReplyReasons(std::optional<std::uint8_t> AReply) {
    // A printer that does not answer the query at all is assumed to be ready.
    if (!AReply) return 0;
    static constexpr TPrinterReason kBits[] = {prCoverOpen, prPaperJam, prPaperOut, prRibbonOut,
                                               prPaused,    prBusy,     prUnknown,  prFault};
    TPrinterReasons reasons = 0;
    for (std::size_t bit = 0; bit < std::size(kBits); ++bit)
        if (*AReply & (1U << bit)) reasons |= kBits[bit];
    return reasons;
}

}  // namespace quorvane
