#pragma once

#include <string>
#include <string_view>

namespace quorvane {

// A label script as the extended log shows it, valid UTF-8 whatever it holds: command text
// decoded from the code page the script's CODEPAGE line announces (bytes from 0x80 up before
// any such line are unknown), each BITMAP command's data replaced by the stand-in
// "<данные растра, N байт>" that gives its length.
std::string TsplScriptLogText(std::string_view AScript);

}  // namespace quorvane
