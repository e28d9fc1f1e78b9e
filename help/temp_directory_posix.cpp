#include "help/temp_directory.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace quorvane {

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
