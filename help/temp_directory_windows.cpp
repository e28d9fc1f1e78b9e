#include "help/temp_directory.h"

#include "text/windows_text.h"

#include <filesystem>
#include <stdexcept>
#include <string>

namespace quorvane {

TTempDirectory::TTempDirectory()
    : TTempDirectory([] {
          wchar_t path[MAX_PATH + 1];
          const DWORD n = GetTempPathW(MAX_PATH + 1, path);
          if (n == 0 || n > MAX_PATH) throw std::runtime_error("Cannot find the temporary folder");
          return Utf8Text(std::wstring_view(path, n));
      }()) {}

TTempDirectory::TTempDirectory(const std::string& ABase) {
    std::string base = ABase.empty() ? "\\" : ABase;
    if (base.back() != '\\' && base.back() != '/') base += '\\';
    // CreateDirectory fails on an existing name, so nobody else's folder is ever taken over;
    // the new folder inherits the user's own temporary folder's access list.
    for (int attempt = 0;; ++attempt) {
        const std::string path = base + NewGuidText();
        if (CreateDirectoryW(WindowsText(path).c_str(), nullptr)) {
            FPath = path + '\\';
            return;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS || attempt == 3)
            throw std::runtime_error("Cannot create the temporary folder " + path + ": error " +
                                     std::to_string(error));
    }
}

TTempDirectory::~TTempDirectory() {
    std::error_code ignored;
    const std::wstring path = WindowsText(FPath);
    std::filesystem::remove_all(std::filesystem::path(path), ignored);
}

}  // namespace quorvane
