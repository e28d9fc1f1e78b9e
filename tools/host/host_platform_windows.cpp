#include <io.h>
#include <windows.h>

#include <cstdio>
#include <stdexcept>

#include "addin/wide_string.h"
#include "tools/host/host_commands.h"
#include "tools/host/host_component.h"
#include "tools/host/host_platform.h"

namespace quorvane::host {

void TComponentLibrary::TCloser::operator()(void* AHandle) const { FreeLibrary(static_cast<HMODULE>(AHandle)); }

void* TComponentLibrary::Open(const std::string& APath) {
    const std::u16string path = Utf8ToWide(APath);
    HMODULE handle = LoadLibraryW(reinterpret_cast<const wchar_t*>(path.c_str()));
    if (handle == nullptr)
        throw std::runtime_error("cannot load " + APath + ": Windows error " + std::to_string(GetLastError()));
    return handle;
}

void* TComponentLibrary::Resolve(const char* AName) const {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(FHandle.get()), AName));
}

// The DLL of the program's own target, where the build puts it: two folders up.
std::string DefaultComponentPath() {
    const char* name = sizeof(void*) == 8 ? "quorvane-x64.dll" : "quorvane-x86.dll";
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return name;
    std::u16string exe(reinterpret_cast<const char16_t*>(path), length);
    return WideToUtf8(exe.substr(0, exe.rfind(u'\\'))) + "\\..\\..\\" + name;
}

bool StdoutIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

}  // namespace quorvane::host
