#include "help/markdown_renderer.h"

#include "text/windows_text.h"

#include <string>

namespace quorvane {

std::string HeadingId(const std::string& AText) {
    std::wstring lower = WindowsText(AText);
    if (!lower.empty()) CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
    std::wstring id;
    for (const wchar_t c : lower) {
        if (c == L' ')
            id += L'-';
        else if (c == L'-' || c == L'_' || IsCharAlphaNumericW(c))
            id += c;
    }
    return Utf8Text(id);
}

std::string DecodeMarkdownText(const std::string& ABytes) {
    if (ABytes.rfind("\xEF\xBB\xBF", 0) == 0) return ABytes.substr(3);
    const bool little = ABytes.rfind("\xFF\xFE", 0) == 0;
    if (!little && ABytes.rfind("\xFE\xFF", 0) != 0) return ABytes;
    std::wstring wide;
    for (std::size_t at = 2; at + 1 < ABytes.size(); at += 2) {
        const auto first = static_cast<unsigned char>(ABytes[at]);
        const auto second = static_cast<unsigned char>(ABytes[at + 1]);
        wide += static_cast<wchar_t>(little ? first | second << 8 : first << 8 | second);
    }
    return Utf8Text(wide);
}

}  // namespace quorvane
