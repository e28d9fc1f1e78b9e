#pragma once

// Windows only: UTF-8 to and from the UTF-16 text the system's wide calls take.

#include <windows.h>

#include <string>
#include <string_view>

namespace quorvane {

inline std::wstring WindowsText(std::string_view AText) {
    if (AText.empty()) return {};
    const int size = static_cast<int>(AText.size());
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, AText.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, AText.data(), size, wide.data(), n);
    return wide;
}

inline std::string Utf8Text(std::wstring_view AText) {
    if (AText.empty()) return {};
    const int size = static_cast<int>(AText.size());
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, AText.data(), size, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, AText.data(), size, text.data(), n, nullptr, nullptr);
    return text;
}

}  // namespace quorvane
