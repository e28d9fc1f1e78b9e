#include "driver/driver_info.h"

#include <array>
#include <mutex>
#include <stdexcept>

#include "errors/messages.h"

#ifndef QUORVANE_DOWNLOAD_URL
#define QUORVANE_DOWNLOAD_URL ""
#endif

namespace quorvane {

std::string EquipmentTypeName(TEquipmentType AType) {
    static const std::array<const char*, 14> names = {
        "СканерШтрихкода", "СчитывательМагнитныхКарт",   "ФискальныйРегистратор", "ПринтерЧеков",
        "ПринтерЭтикеток", "ДисплейПокупателя",          "ТерминалСбораДанных",   "ЭквайринговыйТерминал",
        "ЭлектронныеВесы", "ВесыСПечатьюЭтикеток",       "СчитывательRFID",       "ККТ",
        "Видеокамера",     "НеизвестныйТипОборудования",
    };
    const auto ordinal = static_cast<std::size_t>(AType);
    if (ordinal >= names.size()) throw TMessageError(TMessage::EnumValueUnacceptable);
    return names[ordinal];
}

void TDriverInfo::Clear() {
    EquipmentType = TEquipmentType::etUnknown;
    IntegrationComponent = false;
    MainDriverInstalled = false;
    LogIsEnabled = false;
    DownloadURL.clear();
}

namespace {

struct TSharedDriverInfo {
    std::mutex Lock;
    TDriverInfo Info;
};

TSharedDriverInfo& Shared() {
    static TSharedDriverInfo shared;
    return shared;
}

}  // namespace

TDriverInfo GetDriverInfo() {
    std::lock_guard lock(Shared().Lock);
    return Shared().Info;
}

void ChangeDriverInfo(const std::function<void(TDriverInfo&)>& AChange) {
    std::lock_guard lock(Shared().Lock);
    AChange(Shared().Info);
}

std::string DriverDownloadURL() { return QUORVANE_DOWNLOAD_URL; }

}  // namespace quorvane
