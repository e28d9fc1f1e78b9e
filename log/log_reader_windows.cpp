#include <windows.h>

#include <cerrno>

#include "errors/windows_errors.h"
#include "log/log_reader.h"
#include "text/windows_text.h"

namespace quorvane {

namespace {

HANDLE Native(std::intptr_t AHandle) { return reinterpret_cast<HANDLE>(AHandle); }

bool Failed() {
    errno = ErrnoOfWindowsError(::GetLastError());
    return false;
}

}  // namespace

// Shared for writing and deleting: the log writer of this or another process appends meanwhile,
// and a reader must never make its append fail.
std::optional<TLogReadFile> TLogReadFile::Open(const std::string& APath) {
    const HANDLE handle = ::CreateFileW(WindowsText(APath).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        Failed();
        return std::nullopt;
    }
    return TLogReadFile(reinterpret_cast<std::intptr_t>(handle));
}

TLogReadFile::~TLogReadFile() {
    if (FHandle != -1) ::CloseHandle(Native(FHandle));
}

bool TLogReadFile::Info(TInfo& AInfo) const {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(Native(FHandle), &info)) return Failed();
    AInfo.Volume = info.dwVolumeSerialNumber;
    AInfo.Index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    AInfo.Size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) |
                                           info.nFileSizeLow);
    AInfo.Regular = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    return true;
}

std::int64_t TLogReadFile::ReadAt(char* ABuffer, std::size_t ASize, std::int64_t AOffset) const {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(AOffset) & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(AOffset) >> 32);
    DWORD read = 0;
    const DWORD wanted = ASize > 0x40000000 ? 0x40000000 : static_cast<DWORD>(ASize);
    if (!::ReadFile(Native(FHandle), ABuffer, wanted, &read, &at)) {
        if (::GetLastError() == ERROR_HANDLE_EOF) return 0;
        Failed();
        return -1;
    }
    return read;
}

}  // namespace quorvane
