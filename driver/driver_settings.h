#pragma once

// The driver's settings: one list of what the host sees (names, type, where the value is kept),
// from which the driver's property declarations, their reading and writing and the settings
// handed to the generator and the document reader all follow.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "addin/export_declarations.h"
#include "driver/label_document.h"
#include "printer/language_settings.h"

namespace quorvane {

// The settings the driver reads itself: the port, the generator's resolution and picture
// stretching, the script lines of the log.
struct TDeviceSettings {
    std::int32_t InterfaceType = 0;  // 0 USB, 1 COM, 2 LAN
    std::string USBPort;
    std::int32_t COMPort = 0;
    std::int32_t BaudRate = 0;
    std::int32_t DataBits = 0;
    std::int32_t StopBits = 0;
    std::int32_t Parity = 0;
    std::string IPAddress;
    std::int32_t IPPort = 0;
    std::int32_t Resolution = 0;
    bool StretchImage = false;
    bool ExtLogEnabled = false;
};

// Every setting, kept in the settings of the part that reads it: handing a part its settings is
// a copy.
struct TDriverSettings {
    // Every setting 0, empty or false: the host supplies every value.
    TDriverSettings();

    TDeviceSettings Device;
    // The printer language's own settings in the order of its settings part; the language is
    // made from them at Open.
    std::vector<TPropValue> Language;
    TDocumentSettings Document;
};

// The settings part of the language the driver prints in.
const TLanguageSettings& DriverLanguage();

// Which part reads a setting.
enum class TSettingReader { srDriver, srGenerator, srDocument };

// One setting as the host sees it, in the order of the host's property numbers. Caption and
// DefValue only feed the settings description generated when the schema resource is missing.
struct TSetting {
    std::string_view Name;
    std::string_view NameLoc;
    std::string_view Caption;
    std::string_view DefValue;
    TPropKind Kind;
    TSettingReader Reader;
    // A setting of the driver or the document is kept where these point; a language's setting
    // at LanguageIndex of TDriverSettings::Language.
    TPropValue (*GetOwn)(const TDriverSettings&) = nullptr;
    void (*SetOwn)(TDriverSettings&, const TPropValue&) = nullptr;
    std::size_t LanguageIndex = 0;

    TPropValue Get(const TDriverSettings& ASettings) const;
    // AValue holds the setting's own type.
    void Set(TDriverSettings& ASettings, const TPropValue& AValue) const;
};

// The settings of the driver class, without LogEnabled (the log's state, not a value kept here).
std::span<const TSetting> DriverSettings();

// The setting named AName, or nullptr when the driver has none.
const TSetting* FindSetting(std::string_view AName);

}  // namespace quorvane
