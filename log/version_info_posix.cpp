#include "log/version_info.h"

#include <dlfcn.h>
#include <sys/utsname.h>

#include <cstdio>
#include <fstream>

#include "quorvane_version.h"

namespace quorvane {

namespace {

// Strips one level of shell-style quoting as used in os-release values.
std::string Unquote(std::string AValue) {
    if (AValue.size() >= 2 && (AValue.front() == '"' || AValue.front() == '\'') &&
        AValue.back() == AValue.front()) {
        AValue = AValue.substr(1, AValue.size() - 2);
    }
    std::string result;
    for (std::size_t i = 0; i < AValue.size(); ++i) {
        if (AValue[i] == '\\' && i + 1 < AValue.size()) ++i;
        result += AValue[i];
    }
    return result;
}

std::string ReadPrettyName() {
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        std::ifstream file(path);
        std::string line;
        while (std::getline(file, line)) {
            if (line.rfind("PRETTY_NAME=", 0) == 0) return Unquote(line.substr(12));
        }
    }
    return {};
}

}  // namespace

std::string GetModuleFileName() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&GetModuleFileName), &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    return info.dli_fname;
}

std::string GetModuleVersionText() {
    char text[64];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", QUORVANE_VERSION_MAJOR, QUORVANE_VERSION_MINOR,
                  QUORVANE_VERSION_PATCH, QUORVANE_VERSION_TWEAK + 0);
    return text;
}

std::string GetOSVersionText() {
    utsname names{};
    if (uname(&names) != 0) return "Unknown ";
    std::string name = ReadPrettyName();
    if (name.empty()) name = names.sysname;
    return name + " (" + names.sysname + " " + names.release + " " + names.machine + ")";
}

}  // namespace quorvane
