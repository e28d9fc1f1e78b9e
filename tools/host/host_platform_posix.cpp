#include <dlfcn.h>
#include <unistd.h>

#include <stdexcept>

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

bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

}  // namespace quorvane::host
