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

// The same UTF-16 units seen as the host's type and as ours: on Windows the host's unit is
// wchar_t, 16 bits like char16_t; on Linux both are char16_t.
inline const WCHAR_T* ToHostText(const char16_t* AText) { return reinterpret_cast<const WCHAR_T*>(AText); }
inline const char16_t* FromHostText(const WCHAR_T* AText) { return reinterpret_cast<const char16_t*>(AText); }

}  // namespace quorvane
