#pragma once

#include <string>

namespace quorvane {

// The full path of the binary this code is linked into (libquorvane.so inside the host),
// found through dladdr; empty when it cannot be determined.
std::string GetModuleFileName();

// The library's version as "major.minor.release.build" (the project version compiled in).
std::string GetModuleVersionText();

// A one-line description of the operating system: the distribution's PRETTY_NAME from
// /etc/os-release, then "(" kernel name, release and machine from uname() ")";
// "Unknown " when uname() fails.
std::string GetOSVersionText();

}  // namespace quorvane
