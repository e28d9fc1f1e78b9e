#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quorvane {

// The system side of the driver log: folders, the local time and the day file.

// A folder that cannot hold the log, and why (an errno).
struct TLogFolderProblem {
    int Error;
};

// What separates folders in a path the log composes ("/" or "\"), and every character that
// may separate them in a path it is given.
char LogPathDelimiter();
const char* LogPathDelimiters();

std::tm LocalTimeOf(std::time_t ATime);

// The text of an environment variable as UTF-8; empty when it is not set.
std::string EnvironmentValue(const char* AName);
// The folder that holds application data: the one shared by all users where the system has it,
// else the user's own; empty when there is none.
std::string ApplicationDataFolder();
// The log's own folder under AParent: the maker's folder, then the product's.
std::string LogFolderIn(const std::string& AParent);

// Creates APath with any missing parents (opening a new folder to every user where the system
// has access lists) and checks that files can be written into it. AShared: the folder lies
// where other users could have made it; it must be ours and closed to them. Throws
// TLogFolderProblem.
void PrepareLogFolder(const std::string& APath, bool AShared);
// Where records go when the wanted folder cannot be used, in order, each with AShared.
std::vector<std::pair<std::string, bool>> FallbackLogFolders();

// A day file opened for appending; closing it releases its lock.
class TLogFile {
public:
    // Takes over an open file of the system's kind.
    explicit TLogFile(std::intptr_t AHandle) : FHandle(AHandle) {}
    ~TLogFile();
    TLogFile(const TLogFile&) = delete;
    TLogFile& operator=(const TLogFile&) = delete;

    // Opens APath for appending, creating it when missing (ACreated then says so); a link is
    // not followed (ELOOP). Null with errno.
    static std::unique_ptr<TLogFile> Open(const std::string& APath, bool& ACreated);
    // Waits for the lock that keeps writers of other processes out; false with errno.
    bool Lock();
    // Writes all of AData at the end of the file; false with errno.
    bool Append(const std::string& AData);

private:
    std::intptr_t FHandle;
};

}  // namespace quorvane
