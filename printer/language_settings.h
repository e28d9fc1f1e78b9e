#pragma once

// A printer language's own settings as the driver sees them: what each is called and shown as,
// the values the printer takes, and the language made from their values. The driver keeps,
// checks and hands out the values without knowing the language.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "printer/printer_type_base.h"

namespace quorvane {

// A setting's value: a whole number, a real number, a text or a flag (the host's property value).
using TSettingValue = std::variant<std::int32_t, double, std::string, bool>;

// One setting of the language. Caption and DefValue are those the host is given when the
// settings schema the library carries is missing.
struct TLanguageSetting {
    std::string_view Name;
    std::string_view NameLoc;
    std::string_view Caption;
    std::string_view DefValue;
};

// What the printer takes for a number setting that goes into its commands. Off is the value that
// leaves an option out of its command.
struct TNumberRange {
    std::string_view Name;
    double Low;
    double High;
    std::optional<std::int32_t> Off;
};

// A language's settings part. Values are always in the order of Settings().
class TLanguageSettings {
public:
    virtual ~TLanguageSettings() = default;

    virtual std::span<const TLanguageSetting> Settings() const = 0;
    // The values a new printer of the language starts with; each holds its setting's type.
    virtual std::vector<TSettingValue> Defaults() const = 0;
    // The ranges of the number settings that go into the language's commands, its own and the
    // label's (density, speed and the like).
    virtual std::span<const TNumberRange> NumberRanges() const = 0;
    // Whether the language can write its text in the code page ANumber.
    virtual bool KnowsCodePage(long ANumber) const = 0;

    // The printer made with AValues. A value the printer changes (a bar width it cannot print) is
    // written into AKept, the values the host reads back.
    virtual std::unique_ptr<TPrinterTypeBase> NewPrinter(std::int32_t AResolution, bool AStretchImage,
                                                         const std::vector<TSettingValue>& AValues,
                                                         std::vector<TSettingValue>& AKept) const = 0;
};

}  // namespace quorvane
