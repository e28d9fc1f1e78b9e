#include "text/utf8_text.h"

#include <cstdio>

namespace quorvane {

// The length of the well-formed UTF-8 sequence at ABytes' front (no overlong forms, surrogates
// or code points past U+10FFFF), or 0.
std::size_t WellFormedUtf8Length(std::string_view ABytes) {
    const auto byte = [&](std::size_t AIndex) { return static_cast<unsigned char>(ABytes[AIndex]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
    if (length == 0 || ABytes.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    return length;
}

std::string CodePointName(std::string_view AUtf8) {
    char32_t code = 0;
    const std::size_t length = AUtf8.empty() ? 0 : WellFormedUtf8Length(AUtf8);
    char name[16];
    if (length == 0) {
        if (AUtf8.empty()) return {};
        std::snprintf(name, sizeof name, "0x%02X", static_cast<unsigned>(static_cast<unsigned char>(AUtf8[0])));
        return name;
    }
    const auto lead = static_cast<unsigned char>(AUtf8[0]);
    code = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    for (std::size_t i = 1; i < length; ++i) code = (code << 6) | (static_cast<unsigned char>(AUtf8[i]) & 0x3F);
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(code));
    return name;
}

}  // namespace quorvane
