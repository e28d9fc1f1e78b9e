#include "log/version_info.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "text/windows_text.h"

// windows.h names its own function so; ours is the one in log/version_info.h.
#undef GetModuleFileName

namespace quorvane {

namespace {

// The module this code is linked into (the DLL inside the host, not the host's program).
HMODULE OwnModule() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&OwnModule), &module);
    return module;
}

std::wstring OwnPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(OwnModule(), path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

struct TVersionName {
    DWORD Major;
    DWORD Minor;
    const char* Name;
};

constexpr TVersionName kNames[] = {
    {4, 10, "Windows 98"},  {4, 90, "Windows ME"},   {5, 0, "Windows 2000"}, {5, 1, "Windows XP"},
    {5, 2, "Windows 2003"}, {6, 0, "Windows Vista"}, {6, 1, "Windows 7"},    {6, 2, "Windows 8.0"},
    {6, 3, "Windows 8.1"},  {10, 0, "Windows 10"},
};

const char* VersionName(const OSVERSIONINFOW& AInfo) {
    if (AInfo.dwMajorVersion == 3) return "Windows NT 3";
    if (AInfo.dwMajorVersion == 4 && AInfo.dwMinorVersion == 0)
        return AInfo.dwPlatformId == VER_PLATFORM_WIN32_NT ? "Windows NT 4" : "Windows 95";
    for (const auto& row : kNames)
        if (row.Major == AInfo.dwMajorVersion && row.Minor == AInfo.dwMinorVersion) return row.Name;
    return "Unknown";
}

}  // namespace

std::string GetModuleFileName() { return Utf8Text(OwnPath()); }

// The file version of the library's version resource; 0.0.0.0 without one.
std::string GetModuleVersionText() {
    unsigned parts[4] = {0, 0, 0, 0};
    const std::wstring path = OwnPath();
    DWORD ignored = 0;
    const DWORD size = path.empty() ? 0 : ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::vector<char> block(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (size != 0 && ::GetFileVersionInfoW(path.c_str(), 0, size, block.data()) &&
        ::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) && info != nullptr &&
        length >= sizeof *info) {
        parts[0] = HIWORD(info->dwFileVersionMS);
        parts[1] = LOWORD(info->dwFileVersionMS);
        parts[2] = HIWORD(info->dwFileVersionLS);
        parts[3] = LOWORD(info->dwFileVersionLS);
    }
    char text[64];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", parts[0], parts[1], parts[2], parts[3]);
    return text;
}

// The basic version record. Without a manifest that says otherwise, Windows 8.1 and later
// report themselves as 6.2 here.
std::string GetOSVersionText() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!::GetVersionExW(&info)) return "Unknown ";
    std::string text = VersionName(info);
    text += ' ';
    if (info.szCSDVersion[0] != L'\0') text += Utf8Text(info.szCSDVersion) + " ";
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "(%lu.%lu.%lu)", static_cast<unsigned long>(info.dwMajorVersion),
                  static_cast<unsigned long>(info.dwMinorVersion),
                  static_cast<unsigned long>(info.dwBuildNumber));
    return text + numbers;
}

}  // namespace quorvane
