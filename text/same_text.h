#pragma once

#include <string_view>

namespace quorvane {

// Whole-string comparison of two UTF-8 texts ignoring letter case, Cyrillic as well as Latin
// (the C library's Unicode case mapping). Bytes that are not UTF-8 must match exactly. For the
// names of methods, properties and settings; ASCII words use EqualsIgnoringAsciiCase
// (text/ascii_text.h).
bool SameTextIgnoreCase(std::string_view a, std::string_view b);

}  // namespace quorvane
