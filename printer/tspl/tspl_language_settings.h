#pragma once

#include "printer/language_settings.h"

namespace quorvane {

// TSPL's settings: those of TTsplSettings, the ranges of its commands and the code pages its
// encoder writes.
class TTsplLanguageSettings : public TLanguageSettings {
public:
    std::span<const TLanguageSetting> Settings() const override;
    std::vector<TSettingValue> Defaults() const override;
    std::span<const TNumberRange> NumberRanges() const override;
    bool KnowsCodePage(long ANumber) const override;
    std::unique_ptr<TPrinterTypeBase> NewPrinter(std::int32_t AResolution, bool AStretchImage,
                                                 const std::vector<TSettingValue>& AValues,
                                                 std::vector<TSettingValue>& AKept) const override;
};

}  // namespace quorvane
