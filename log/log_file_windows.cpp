#include <aclapi.h>
#include <shlobj.h>
#include <windows.h>

#include <cerrno>

#include "errors/windows_errors.h"
#include "log/driver_log.h"
#include "log/log_file.h"
#include "text/windows_text.h"

namespace quorvane {

namespace {

// Owners of what the access-list calls hand out.
struct TLocalMemory {
    ~TLocalMemory() {
        if (Memory != nullptr) ::LocalFree(Memory);
    }
    HLOCAL Memory = nullptr;
};

struct TSid {
    ~TSid() {
        if (Sid != nullptr) ::FreeSid(Sid);
    }
    PSID Sid = nullptr;
};

[[noreturn]] void ThrowFolderProblem() { throw TLogFolderProblem{ErrnoOfWindowsError(::GetLastError())}; }

// The log folder is shared by every user of the machine (the host may run as any of them):
// Everyone gets full access, inherited by the files, unless an entry already grants it.
void GrantEveryoneFullAccess(const std::wstring& APath) {
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    TSid everyone;
    if (!::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone.Sid))
        ThrowFolderProblem();
    PACL dacl = nullptr;
    TLocalMemory descriptor;
    const DWORD read = ::GetNamedSecurityInfoW(APath.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                               nullptr, nullptr, &dacl, nullptr, &descriptor.Memory);
    if (read != ERROR_SUCCESS) throw TLogFolderProblem{ErrnoOfWindowsError(read)};
    if (dacl == nullptr) return;  // no list at all: open to everyone already
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!::GetAce(dacl, i, &entry)) continue;
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        if (allowed->Mask == GENERIC_ALL && ::EqualSid(const_cast<DWORD*>(&allowed->SidStart), everyone.Sid))
            return;
    }
    EXPLICIT_ACCESS_W access{};
    access.grfAccessPermissions = GENERIC_ALL;
    access.grfAccessMode = GRANT_ACCESS;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = static_cast<LPWSTR>(everyone.Sid);
    PACL combined = nullptr;
    const DWORD made = ::SetEntriesInAclW(1, &access, dacl, &combined);
    if (made != ERROR_SUCCESS) throw TLogFolderProblem{ErrnoOfWindowsError(made)};
    TLocalMemory combinedOwner;
    combinedOwner.Memory = combined;
    // A folder whose list cannot be changed still takes records from this user.
    ::SetNamedSecurityInfoW(const_cast<LPWSTR>(APath.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, combined, nullptr);
}

std::string ShellFolder(int AFolder) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, AFolder | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path)))
        return {};
    std::string text = Utf8Text(path);
    while (!text.empty() && text.back() == '\\') text.pop_back();
    return text;
}

}  // namespace

char LogPathDelimiter() { return '\\'; }
const char* LogPathDelimiters() { return "\\/"; }

std::tm LocalTimeOf(std::time_t ATime) {
    std::tm parts{};
    localtime_s(&parts, &ATime);
    return parts;
}

// Made with its missing parents; only a folder made here gets the entry for Everyone, so that a
// folder someone else made keeps the list they gave it.
void PrepareLogFolder(const std::string& APath, bool AShared) {
    (void)AShared;  // no shared fallback folders on Windows
    const std::wstring path = WindowsText(APath);
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // The parents first; a drive ("C:") or a server share cannot be made and is left to fail below.
        for (size_t position = path.find_first_of(L"\\/", 1); position != std::wstring::npos;
             position = path.find_first_of(L"\\/", position + 1)) {
            const std::wstring partial = path.substr(0, position);
            if (partial.empty() || partial.back() == L':' || partial.back() == L'\\') continue;
            if (!::CreateDirectoryW(partial.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS &&
                ::GetLastError() != ERROR_ACCESS_DENIED)
                ThrowFolderProblem();
        }
        if (::CreateDirectoryW(path.c_str(), nullptr))
            GrantEveryoneFullAccess(path);
        else if (::GetLastError() != ERROR_ALREADY_EXISTS)  // else another process was quicker
            ThrowFolderProblem();
        attributes = ::GetFileAttributesW(path.c_str());
    }
    if (attributes == INVALID_FILE_ATTRIBUTES) ThrowFolderProblem();
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) throw TLogFolderProblem{ENOTDIR};
    // A folder whose list keeps this user out is only seen when a file is made in it.
    const std::wstring probe = path + L"\\~quorvane-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                               std::to_wstring(::GetCurrentThreadId()) + L".tmp";
    const HANDLE handle = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) ThrowFolderProblem();
    ::CloseHandle(handle);
}

// The user's roaming folder, when the shared one cannot take the log.
std::vector<std::pair<std::string, bool>> FallbackLogFolders() {
    const std::string roaming = ShellFolder(CSIDL_APPDATA);
    if (roaming.empty()) return {};
    return {{LogFolderIn(roaming), false}};
}

std::string EnvironmentValue(const char* AName) {
    // The wide environment: the runtime's narrow copy misses later changes and non-ANSI text.
    const std::wstring name = WindowsText(AName);
    const DWORD size = ::GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (size == 0) return {};
    std::wstring value(size, L'\0');
    const DWORD length = ::GetEnvironmentVariableW(name.c_str(), value.data(), size);
    value.resize(length < size ? length : 0);
    return Utf8Text(value);
}

std::string ApplicationDataFolder() {
    std::string data = ShellFolder(CSIDL_COMMON_APPDATA);
    return data.empty() ? ShellFolder(CSIDL_APPDATA) : data;
}

TLogFile::~TLogFile() {
    // Closing would release the lock too, but only when the system gets to it: unlocking now lets
    // the next writer in at once.
    const auto handle = reinterpret_cast<HANDLE>(FHandle);
    OVERLAPPED from{};
    ::UnlockFileEx(handle, 0, MAXDWORD, MAXDWORD, &from);
    ::CloseHandle(handle);
}

// Other processes may read the file while it is written, and append to it in turn: each holds
// the lock for one append.
std::unique_ptr<TLogFile> TLogFile::Open(const std::string& APath, bool& ACreated) {
    const std::wstring path = WindowsText(APath);
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    // Appending access puts every write at the end; reading access is what LockFileEx asks for.
    constexpr DWORD kAccess = FILE_APPEND_DATA | GENERIC_READ;
    ACreated = false;
    HANDLE handle =
        ::CreateFileW(path.c_str(), kAccess, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_NOT_FOUND) {
        handle =
            ::CreateFileW(path.c_str(), kAccess, share, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        ACreated = handle != INVALID_HANDLE_VALUE;
        if (handle == INVALID_HANDLE_VALUE &&
            ::GetLastError() == ERROR_FILE_EXISTS)  // another process was quicker
            handle = ::CreateFileW(path.c_str(), kAccess, share, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE) {
        TakeWindowsError();
        return nullptr;
    }
    return std::make_unique<TLogFile>(reinterpret_cast<std::intptr_t>(handle));
}

// A lock on the file itself rather than a named mutex: it needs no name that every user's session
// can open (a mutex would need the global namespace and an access list of its own), it goes
// with the handle when a process dies, and it is the whole-file lock the Linux side takes.
bool TLogFile::Lock() {
    OVERLAPPED from{};
    if (::LockFileEx(reinterpret_cast<HANDLE>(FHandle), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD,
                     &from))
        return true;
    TakeWindowsError();
    return false;
}

bool TLogFile::Append(const std::string& AData) {
    const auto handle = reinterpret_cast<HANDLE>(FHandle);
    const char* data = AData.data();
    size_t left = AData.size();
    while (left > 0) {
        DWORD written = 0;
        if (!::WriteFile(handle, data, static_cast<DWORD>(left), &written, nullptr)) {
            TakeWindowsError();
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

}  // namespace quorvane
