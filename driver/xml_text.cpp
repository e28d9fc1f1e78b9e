#include "driver/xml_text.h"

#include <utility>

namespace quorvane {

namespace {

bool IsXmlChar(char32_t c) {
    return c == 0x09 || c == 0x0A || c == 0x0D || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// Length of the well-formed UTF-8 sequence at the start of `s` and its code point;
// 0 when the bytes there are not a well-formed sequence.
std::size_t DecodeUtf8(std::string_view s, char32_t& out) {
    const auto b0 = static_cast<unsigned char>(s[0]);
    if (b0 < 0x80) {
        out = b0;
        return 1;
    }
    std::size_t len;
    char32_t c;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, c = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, c = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, c = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (s.size() < len) return 0;
    for (std::size_t i = 1; i < len; ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if ((b & 0xC0) != 0x80) return 0;
        c = (c << 6) | (b & 0x3F);
    }
    // Overlong forms, encoded surrogates and values past U+10FFFF are not well-formed.
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    out = c;
    return len;
}

// Calls AEmit(position, kept text) for every character of AText that stays, in order.
template <typename F>
void Walk(std::string_view text, bool keepGroupSeparator, F AEmit) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        char32_t c = 0;
        const std::size_t len = DecodeUtf8(text.substr(pos), c);
        if (len == 0) {
            ++pos;  // a stray byte: skip it alone and resynchronise on the next one
            continue;
        }
        if (IsXmlChar(c))
            AEmit(pos, text.substr(pos, len));
        else if (c == 0x1D && keepGroupSeparator)
            AEmit(pos, std::string_view("&#29;"));
        pos += len;
    }
}

std::string Clean(std::string_view text, bool keepGroupSeparator) {
    std::string result;
    result.reserve(text.size());
    Walk(text, keepGroupSeparator, [&](std::size_t, std::string_view AKept) { result.append(AKept); });
    return result;
}

}  // namespace

std::string RemoveInvalidXMLChars(std::string_view text) { return Clean(text, false); }

std::string LabelDocumentXmlText(std::string_view text) { return Clean(text, true); }

std::size_t FindNulReference(std::string_view text) {
    std::size_t at = 0;
    while ((at = text.find_first_of("<&", at)) != std::string_view::npos) {
        const std::string_view rest = text.substr(at);
        for (const auto& [open, close] : {std::pair{"<!--", "-->"}, std::pair{"<![CDATA[", "]]>"}}) {
            if (rest.substr(0, std::string_view(open).size()) != open) continue;
            const std::size_t end = text.find(close, at);
            if (end == std::string_view::npos) return std::string_view::npos;
            at = end;
            break;
        }
        if (rest.substr(0, 2) == "&#") {
            const bool hex = rest.size() > 2 && rest[2] == 'x';
            std::size_t i = hex ? 3 : 2;
            const std::size_t digits = i;
            while (i < rest.size() && rest[i] == '0') ++i;
            if (i > digits && i < rest.size() && rest[i] == ';') return at;
        }
        ++at;
    }
    return std::string_view::npos;
}

std::size_t LabelDocumentSourceOffset(std::string_view text, std::size_t offset) {
    std::size_t cleaned = 0;
    std::size_t source = text.size();
    bool found = false;
    Walk(text, true, [&](std::size_t APosition, std::string_view AKept) {
        if (found) return;
        if (offset < cleaned + AKept.size()) {
            source = APosition;
            found = true;
        }
        cleaned += AKept.size();
    });
    return source;
}

}  // namespace quorvane
