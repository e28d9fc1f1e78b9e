#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "printer/tspl/code_page.h"

namespace quorvane {

// The system side of the code pages: iconv on Linux, the system's conversions on Windows.

inline constexpr std::string_view kReplacement{"\xEF\xBF\xBD"};  // U+FFFD in UTF-8

// Length of the UTF-8 sequence that starts with ALead; 1 for a stray byte, so a bad byte is
// skipped on its own.
inline std::size_t Utf8SequenceLength(unsigned char ALead) {
    if (ALead >= 0xF0 && ALead <= 0xF4) return 4;
    if (ALead >= 0xE0) return ALead <= 0xEF ? 3 : 1;
    if (ALead >= 0xC2) return 2;
    return 1;
}

// A converter from UTF-8 into code page ANumber (AName is its iconv name); null when the
// system has none.
std::unique_ptr<TCodePageConverter, TCodePageConverterDeleter> OpenCodePageEncoder(long ANumber,
                                                                                   const std::string& AName);
// Appends AText (not all ASCII) in the converter's code page to AOut: "?" for each character
// the code page lacks or each malformed sequence, whose bytes go to AMissing when given.
void EncodeNonAscii(TCodePageConverter& AConverter, std::string_view AText, std::string& AOut,
                    std::vector<std::string>* AMissing);
// ABytes of code page ANumber as UTF-8 appended to AOut, U+FFFD for what the code page does not
// define; false (and AOut untouched) when the system has no such code page.
bool DecodeCodePageBytes(std::string_view ABytes, long ANumber, const std::string& AName, std::string& AOut);

}  // namespace quorvane
