#include <dlfcn.h>
#include <unistd.h>

#include <stdexcept>

#include "tools/host/host_commands.h"
#include "tools/host/host_component.h"
#include "tools/host/host_platform.h"

namespace quorvane::host {

void TComponentLibrary::TCloser::operator()(void* AHandle) const { dlclose(AHandle); }

void* TComponentLibrary::Open(const std::string& APath) {
    void* handle = dlopen(APath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* error = dlerror();
        throw std::runtime_error("cannot load " + APath + ": " + (error ? error : "unknown error"));
    }
    return handle;
}

void* TComponentLibrary::Resolve(const char* AName) const { return dlsym(FHandle.get(), AName); }

std::string DefaultComponentPath() {
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return "libquorvane.so";
    std::string exe(path, static_cast<std::size_t>(length));
    std::string dir = exe.substr(0, exe.rfind('/'));
    return dir + "/../../libquorvane.so";
}

bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

}  // namespace quorvane::host
