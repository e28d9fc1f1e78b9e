#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace quorvane {

// Words of the label document, settings, file names and printer replies are ASCII; comparing
// them must not depend on the process locale the host has set (std::tolower does).
constexpr char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline bool EqualsIgnoringAsciiCase(std::string_view A, std::string_view B) {
    if (A.size() != B.size()) return false;
    for (std::size_t i = 0; i < A.size(); ++i)
        if (LowerAscii(A[i]) != LowerAscii(B[i])) return false;
    return true;
}

inline bool ContainsIgnoringAsciiCase(std::string_view AText, std::string_view AFragment) {
    const auto it = std::search(AText.begin(), AText.end(), AFragment.begin(), AFragment.end(),
                                [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
    return it != AText.end() || AFragment.empty();
}

// AText without leading and trailing spaces and control characters.
inline std::string_view TrimControls(std::string_view AText) {
    while (!AText.empty() && static_cast<unsigned char>(AText.front()) <= ' ') AText.remove_prefix(1);
    while (!AText.empty() && static_cast<unsigned char>(AText.back()) <= ' ') AText.remove_suffix(1);
    return AText;
}

// A value of spaces and control characters only, the empty one included: a picture or barcode
// value like this means "nothing to print", for static and per-label values alike.
inline bool IsBlank(std::string_view AText) { return TrimControls(AText).empty(); }

}  // namespace quorvane
