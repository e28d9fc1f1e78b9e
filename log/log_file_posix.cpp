#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "log/driver_log.h"
#include "log/log_file.h"

namespace quorvane {

namespace {

std::string WithoutTrailingSlash(std::string APath) {
    while (APath.size() > 1 && APath.back() == '/') APath.pop_back();
    return APath;
}

// The shared temporary folder holds the last fallback: it must be ours and closed to others,
// or another user could read the records or plant links in it.
void CheckPrivate(const std::string& APath) {
    struct stat info {};
    if (lstat(APath.c_str(), &info) != 0) throw TLogFolderProblem{errno};
    if (!S_ISDIR(info.st_mode)) throw TLogFolderProblem{ENOTDIR};
    if (info.st_uid != geteuid() || (info.st_mode & 077) != 0) throw TLogFolderProblem{EACCES};
}

}  // namespace

char LogPathDelimiter() { return '/'; }
const char* LogPathDelimiters() { return "/"; }

std::tm LocalTimeOf(std::time_t ATime) {
    std::tm parts{};
    localtime_r(&ATime, &parts);
    return parts;
}

// Private to the user.
void PrepareLogFolder(const std::string& APath, bool AShared) {
    std::size_t position = 0;
    while (position != std::string::npos) {
        position = APath.find('/', position + 1);
        const std::string partial = APath.substr(0, position);
        if (partial.empty()) continue;
        if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) throw TLogFolderProblem{errno};
    }
    struct stat info {};
    if (stat(APath.c_str(), &info) != 0) throw TLogFolderProblem{errno};
    if (!S_ISDIR(info.st_mode)) throw TLogFolderProblem{ENOTDIR};
    if (access(APath.c_str(), W_OK | X_OK) != 0) throw TLogFolderProblem{errno};
    if (AShared) CheckPrivate(APath);
}

// $XDG_RUNTIME_DIR/quorvane, then a private folder under the temporary folder.
std::vector<std::pair<std::string, bool>> FallbackLogFolders() {
    std::vector<std::pair<std::string, bool>> places;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime == '/')
        places.emplace_back(WithoutTrailingSlash(runtime) + "/quorvane", false);
    const char* temp = std::getenv("TMPDIR");
    const std::string tempDir = temp != nullptr && *temp == '/' ? WithoutTrailingSlash(temp) : "/tmp";
    places.emplace_back(tempDir + "/quorvane-" + std::to_string(geteuid()), true);
    return places;
}

std::string EnvironmentValue(const char* AName) {
    const char* value = std::getenv(AName);
    return value != nullptr ? value : "";
}

// Linux has no folder shared by all users that each may write: the user's data folder.
std::string ApplicationDataFolder() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.local/share";
}

TLogFile::~TLogFile() {
    // Closing the descriptor releases the flock.
    ::close(static_cast<int>(FHandle));
}

std::unique_ptr<TLogFile> TLogFile::Open(const std::string& APath, bool& ACreated) {
    const int flags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC;
    ACreated = false;
    int handle = open(APath.c_str(), flags);
    if (handle < 0 && errno == ENOENT) {
        handle = open(APath.c_str(), flags | O_CREAT | O_EXCL, 0600);
        ACreated = handle >= 0;
        if (handle < 0 && errno == EEXIST)
            handle = open(APath.c_str(), flags);  // another process was quicker
    }
    if (handle < 0) return nullptr;
    return std::make_unique<TLogFile>(handle);
}

bool TLogFile::Lock() {
    while (flock(static_cast<int>(FHandle), LOCK_EX) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

bool TLogFile::Append(const std::string& AData) {
    const char* data = AData.data();
    std::size_t left = AData.size();
    while (left > 0) {
        const ssize_t written = write(static_cast<int>(FHandle), data, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace quorvane
