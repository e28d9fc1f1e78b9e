#include "help/temp_directory.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>

namespace quorvane {

std::string NewGuidText() {
    std::random_device random;
    std::array<unsigned char, 16> b{};
    for (auto& byte : b) byte = static_cast<unsigned char>(random() & 0xFF);
    b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);  // version 4
    b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);  // variant 1
    char text[39];
    std::snprintf(text, sizeof text, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13],
                  b[14], b[15]);
    return text;
}

TTempDirectory::TTempDirectory()
    : TTempDirectory([] {
          const char* tmp = std::getenv("TMPDIR");
          return std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp");
      }()) {}

TTempDirectory::TTempDirectory(const std::string& ABase) {
    std::string base = ABase.empty() ? "/" : ABase;
    if (base.back() != '/') base += '/';
    // mkdir fails on an existing name, so nobody else's folder (or link) is ever taken over.
    for (int attempt = 0;; ++attempt) {
        const std::string path = base + NewGuidText();
        if (mkdir(path.c_str(), 0700) == 0) {
            FPath = path + '/';
            return;
        }
        const int error = errno;
        if (error != EEXIST || attempt == 3)
            throw std::runtime_error("Cannot create the temporary folder " + path + ": " +
                                     std::strerror(error));
    }
}

TTempDirectory::~TTempDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
}

}  // namespace quorvane
