#pragma once

#include <string>

namespace quorvane {

// A new GUID in registry form: braces, upper-case hex, 38 characters.
std::string NewGuidText();

// A private folder {GUID} in the temporary folder ($TMPDIR, default /tmp, mode 0700; on
// Windows the user's temporary folder), deleted with everything in it
// when the object goes.
class TTempDirectory {
public:
    TTempDirectory();
    // The same under ABase instead of the temporary folder.
    explicit TTempDirectory(const std::string& ABase);
    ~TTempDirectory();
    TTempDirectory(const TTempDirectory&) = delete;
    TTempDirectory& operator=(const TTempDirectory&) = delete;

    // The folder with a trailing delimiter.
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
};

}  // namespace quorvane
