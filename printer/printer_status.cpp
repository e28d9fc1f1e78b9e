#include "printer/printer_status.h"

#include "errors/messages.h"

namespace quorvane {

namespace {

struct TReasonText {
    TPrinterReasons Reasons;
    TMessage Text;
};

constexpr TReasonText kReasonTexts[] = {
    {prCoverOpen, TMessage::StatusCoverOpen},
    {prPaperJam, TMessage::StatusPaperJam},
    {prCoverOpen | prPaperJam, TMessage::StatusCoverOpenPaperJam},
    {prPaperOut, TMessage::StatusPaperOut},
    {prPaperOut | prCoverOpen, TMessage::StatusPaperOutCoverOpen},
    {prRibbonOut, TMessage::StatusRibbonOut},
    {prRibbonOut | prCoverOpen, TMessage::StatusRibbonOutCoverOpen},
    {prRibbonOut | prPaperJam, TMessage::StatusRibbonOutPaperJam},
    {prRibbonOut | prPaperJam | prCoverOpen, TMessage::StatusRibbonOutPaperJamCoverOpen},
    {prRibbonOut | prPaperOut, TMessage::StatusRibbonAndPaperOut},
    {prRibbonOut | prPaperOut | prCoverOpen, TMessage::StatusRibbonAndPaperOutCoverOpen},
    {prPaused, TMessage::StatusPaused},
    {prFault, TMessage::UnknownError},
};

}  // namespace

TStatusVerdict JudgeStatus(TPrinterReasons AReasons, std::int64_t AElapsedMs) {
    if (AReasons == 0) return {TStatusStep::ssReady, {}};
    if (AReasons == prBusy) {
        if (AElapsedMs <= kPrintingTimeoutMs) return {TStatusStep::ssAskAgain, {}};
        return {TStatusStep::ssFail, MessageText(TMessage::PrintingTimeout)};
    }
    for (const TReasonText& known : kReasonTexts)
        if (known.Reasons == AReasons) return {TStatusStep::ssFail, MessageText(known.Text)};
    return {TStatusStep::ssFail, MessageText(TMessage::CheckCoverAndSupplies)};
}

}  // namespace quorvane
