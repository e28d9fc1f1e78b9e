#include "printer/tspl/status_query.h"

namespace quorvane {

std::string GetErrorDescription(std::uint8_t AErrorCode) {
    switch (AErrorCode) {
        case 1: return "Открыта крышка принтера";
        case 2: return "Замятие бумаги в принтере";
        case 3: return "Открыта крышка и замятие бумаги в принтере";
        case 4: return "Закончилась бумага в принтере";
        case 5: return "Закончилась бумага и открыта крышка принтера";
        case 8: return "Закончилась термолента";
        case 9: return "Закончилась термолента и открыта крышка принтера";
        case 10: return "Закончилась термолента и замятие бумаги в принтере";
        case 11: return "Закончилась термолента, замятие бумаги и открыта крышка принтера";
        case 12: return "Закончилась термолента и бумага";
        case 13: return "Закончилась термолента, закончилась бумага и открыта крышка принтера";
        case 16: return "Принтер остановлен";
        case 32: return "Принтер в состоянии печати";
        default: return "Неизвестная ошибка";
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
        return {TStatusStep::ssFail, "Превышено время ожидания окончания печати"};
    }
    return {TStatusStep::ssFail, "Проверьте, закрыта ли крышка принтера и наличие расходных материалов"};
}

}  // namespace quorvane
