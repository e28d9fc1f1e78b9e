#include "text/same_text.h"

#include <windows.h>

#include <cstddef>

namespace quorvane {

namespace {

// Start of the range a byte that is not well-formed UTF-8 is moved to: no character uses it.
constexpr char32_t kStrayByte = 0x110000;

// Next code point of `s` at `pos`; a byte that does not start a well-formed sequence (overlong,
// surrogate, beyond U+10FFFF, cut short) comes back as itself moved into the stray range.
char32_t NextCodePoint(std::string_view s, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(s[pos]);
    std::size_t length = 0;
    char32_t code = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 1, code = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 2, code = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 3, code = lead & 0x07, minimum = 0x10000;
    }
    bool good = length > 0 && pos + length < s.size();
    for (std::size_t i = 1; good && i <= length; ++i) {
        const auto next = static_cast<unsigned char>(s[pos + i]);
        good = (next & 0xC0) == 0x80;
        code = (code << 6) | (next & 0x3F);
    }
    if (!good || code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        ++pos;
        return kStrayByte + lead;
    }
    pos += length + 1;
    return code;
}

// Lower case by the system's invariant mapping, which does not depend on the user's locale.
char32_t Folded(char32_t code) {
    if (code >= kStrayByte) return code;
    wchar_t units[2];
    int count = 1;
    if (code < 0x10000) {
        units[0] = static_cast<wchar_t>(code);
    } else {
        units[0] = static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
        units[1] = static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        count = 2;
    }
    wchar_t lower[2];
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, units, count, lower, 2, nullptr, nullptr, 0) != count)
        return code;
    if (count == 1) return lower[0];
    return 0x10000 + ((static_cast<char32_t>(lower[0]) - 0xD800) << 10) + (static_cast<char32_t>(lower[1]) - 0xDC00);
}

}  // namespace

bool SameTextIgnoreCase(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size())
        if (Folded(NextCodePoint(a, i)) != Folded(NextCodePoint(b, j))) return false;
    return i == a.size() && j == b.size();
}

}  // namespace quorvane
