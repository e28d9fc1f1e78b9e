#include "addin/wide_string.h"

namespace quorvane {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& AOut, char32_t ACode) {
    if (ACode < 0x80) {
        AOut += static_cast<char>(ACode);
    } else if (ACode < 0x800) {
        AOut += static_cast<char>(0xC0 | (ACode >> 6));
        AOut += static_cast<char>(0x80 | (ACode & 0x3F));
    } else if (ACode < 0x10000) {
        AOut += static_cast<char>(0xE0 | (ACode >> 12));
        AOut += static_cast<char>(0x80 | ((ACode >> 6) & 0x3F));
        AOut += static_cast<char>(0x80 | (ACode & 0x3F));
    } else {
        AOut += static_cast<char>(0xF0 | (ACode >> 18));
        AOut += static_cast<char>(0x80 | ((ACode >> 12) & 0x3F));
        AOut += static_cast<char>(0x80 | ((ACode >> 6) & 0x3F));
        AOut += static_cast<char>(0x80 | (ACode & 0x3F));
    }
}

void AppendUtf16(std::u16string& AOut, char32_t ACode) {
    if (ACode < 0x10000) {
        AOut += static_cast<char16_t>(ACode);
    } else {
        ACode -= 0x10000;
        AOut += static_cast<char16_t>(0xD800 + (ACode >> 10));
        AOut += static_cast<char16_t>(0xDC00 + (ACode & 0x3FF));
    }
}

// Decodes one code point starting at APos; advances APos past what was consumed.
char32_t DecodeUtf8(std::string_view AText, std::size_t& APos) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(AText[i]); };
    unsigned char lead = byte(APos++);
    if (lead < 0x80) return lead;
    int length = 0;
    char32_t code = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 1, code = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 2, code = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 3, code = lead & 0x07, minimum = 0x10000;
    } else {
        return kReplacement;
    }
    for (int i = 0; i < length; ++i) {
        if (APos >= AText.size() || (byte(APos) & 0xC0) != 0x80) return kReplacement;
        code = (code << 6) | (byte(APos++) & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return kReplacement;
    return code;
}

}  // namespace

std::u16string Utf8ToWide(std::string_view AText) {
    std::u16string result;
    result.reserve(AText.size());
    for (std::size_t pos = 0; pos < AText.size();) AppendUtf16(result, DecodeUtf8(AText, pos));
    return result;
}

std::string WideToUtf8(std::u16string_view AText) {
    std::string result;
    result.reserve(AText.size() * 2);
    for (std::size_t i = 0; i < AText.size(); ++i) {
        char32_t unit = AText[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < AText.size() && AText[i + 1] >= 0xDC00 &&
            AText[i + 1] <= 0xDFFF) {
            unit = 0x10000 + ((unit - 0xD800) << 10) + (AText[i + 1] - 0xDC00);
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            unit = kReplacement;
        }
        AppendUtf8(result, unit);
    }
    return result;
}

std::u16string_view WideView(const WCHAR_T* AText) {
    return AText == nullptr ? std::u16string_view() : std::u16string_view(FromHostText(AText));
}

}  // namespace quorvane
