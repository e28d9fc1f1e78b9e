#include "printer/tspl/status_query.h"

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

TStatusVerdict JudgeStatusReply(std::optional<std::uint8_t> AReply, std::int64_t AElapsedMs) {
    // A printer that does not answer the query at all is assumed to be ready.
    if (!AReply || *AReply == 0) return {TStatusStep::ssReady, {}};
    const std::uint8_t status = *AReply;
    const bool known =
        (status >= 1 && status <= 5) || (status >= 8 && status <= 13) || status == 16 || status == 0x80;
    if (known) return {TStatusStep::ssFail, GetErrorDescription(status)};
    if (status == 0x20) {
        if (AElapsedMs <= kPrintingTimeoutMs) return {TStatusStep::ssAskAgain, {}};
        return {TStatusStep::ssFail, MessageText(TMessage::PrintingTimeout)};
    }
    return {TStatusStep::ssFail, MessageText(TMessage::CheckCoverAndSupplies)};
}

}  // namespace quorvane
