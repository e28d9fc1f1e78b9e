#pragma once

#include <string>
#include <string_view>

#include "addin/v8napi.h"

namespace quorvane {

// Conversions at the host boundary: the driver's text is UTF-8, the host's UTF-16.
// Malformed input (bad UTF-8 sequences, unpaired surrogates) becomes U+FFFD.
std::u16string Utf8ToWide(std::string_view AText);
std::string WideToUtf8(std::u16string_view AText);

// The characters of a NUL-terminated host text; null gives an empty text.
std::u16string_view WideView(const WCHAR_T* AText);

}  // namespace quorvane
