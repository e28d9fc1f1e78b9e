#pragma once

// The values a text setting may take are those of its choice list in the settings schema the
// library carries: the list the host shows and the list the driver accepts are one. A text
// setting is written into printer commands as it is, so a value off the list could end a command
// and add commands of its own.

#include <string>
#include <string_view>

#include "driver/driver_settings.h"

namespace quorvane {

// AValue of the setting AName as its choice list writes it, the list's values compared ignoring
// ASCII case; Codepage also takes, in decimal digits, the number of any code page the encoder
// knows. An empty value is a setting the host has not given and stays empty; a setting without
// a list in the schema is returned as it is. Anything else fails with SettingValueInvalid, which
// names the setting, the value and what is allowed.
std::string CheckedChoice(std::string_view AName, std::string_view AValue);

// A number setting that goes into printer commands, checked against what the printer takes;
// a value outside fails with SettingValueInvalid. Other names pass.
void CheckNumberSetting(std::string_view AName, double AValue);

// Whose settings CheckedSettings checks: every one, or those of the part that reads them.
enum class TCheckedPart { cpAll, cpGenerator, cpDocument };

// ASettings with every text setting of APart put through CheckedChoice and every number setting
// through CheckNumberSetting; the generator's part includes Resolution, which it is made with.
TDriverSettings CheckedSettings(TDriverSettings ASettings, TCheckedPart APart);

}  // namespace quorvane
