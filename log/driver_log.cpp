#include "log/driver_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "log/version_info.h"
#include "posix/file_descriptor.h"
#include "text/ascii_text.h"

namespace quorvane {

namespace {

// Plain constants, not std::string: the log's state is closed from a static destructor, which
// may run after this file's other statics are gone.
constexpr char kLineEnd[] = "\r\n";
constexpr std::size_t kHeaderPadding = 40;
constexpr char kStopLine[] = "============Stop log===============";

// All process-wide state of the log. The mode is atomic so that a record which does not pass
// costs no lock; everything else (header flag, names, clock, the append itself) is under Lock.
struct TLogState {
    std::mutex Lock;
    std::atomic<int> Mode{0};
    bool HeaderWritten = false;
    std::string Directory;
    std::string BaseName;
    TLogClock Clock;

    ~TLogState();
};

TLogState& LogState() {
    // Function-local: the log may be used by start-up code of other translation units.
    static TLogState state;
    return state;
}

std::chrono::system_clock::time_point Now(const TLogState& AState) {
    return AState.Clock ? AState.Clock() : std::chrono::system_clock::now();
}

std::tm LocalTime(std::chrono::system_clock::time_point ATime, int& AMilliseconds) {
    auto since = ATime.time_since_epoch();
    auto seconds = std::chrono::floor<std::chrono::seconds>(since);
    AMilliseconds =
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(since - seconds).count());
    std::time_t t = static_cast<std::time_t>(seconds.count());
    std::tm parts{};
    localtime_r(&t, &parts);
    return parts;
}

std::string FileDate(std::chrono::system_clock::time_point ATime) {
    int ms = 0;
    std::tm parts = LocalTime(ATime, ms);
    char text[32];
    std::snprintf(text, sizeof text, "%04d.%02d.%02d", parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday);
    return text;
}

std::string DirectoryOf(const TLogState& AState) {
    std::string directory = AState.Directory.empty() ? DefaultLogDirectory() : AState.Directory;
    while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
    return directory;
}

std::string BaseNameOf(const TLogState& AState) {
    std::string name = AState.BaseName.empty() ? GetModuleFileName() : AState.BaseName;
    if (auto slash = name.rfind('/'); slash != std::string::npos) name.erase(0, slash + 1);
    if (auto dot = name.find('.'); dot != std::string::npos) name.erase(dot);
    return name;
}

// Creates the folder and any missing parents, private to the user.
void CreateDirectories(const std::string& APath) {
    std::string partial;
    std::size_t position = 0;
    while (position != std::string::npos) {
        position = APath.find('/', position + 1);
        partial = APath.substr(0, position);
        if (partial.empty()) continue;
        if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            throw std::system_error(errno, std::generic_category(),
                                    "Cannot create the log folder " + partial);
        }
    }
    struct stat info {};
    if (stat(APath.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        throw std::system_error(ENOTDIR, std::generic_category(), "Cannot create the log folder " + APath);
    }
}

std::string FileNameIn(const TLogState& AState, const std::string& ADirectory) {
    return ADirectory + "/" + BaseNameOf(AState) + "_" + FileDate(Now(AState)) + ".log";
}

std::string LogFileName(const TLogState& AState, bool ADirectoryOnly) {
    std::string directory = DirectoryOf(AState);
    struct stat info {};
    if (stat(directory.c_str(), &info) != 0) CreateDirectories(directory);
    return ADirectoryOnly ? directory + "/" : FileNameIn(AState, directory);
}

// Removes this log's daily files (base name + "_yyyy.mm.dd.log") dated more than 30 days before
// ATime; the folder otherwise grows for ever. Other files are left alone; failures are ignored.
void RemoveOldFiles(const TLogState& AState, const std::string& ADirectory) {
    const std::string prefix = BaseNameOf(AState) + "_";
    const std::string oldest = FileDate(Now(AState) - std::chrono::hours(24 * 30));
    std::error_code error;
    for (std::filesystem::directory_iterator it(ADirectory, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() != prefix.size() + 14 || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - 4, 4, ".log") != 0)
            continue;
        const std::string date = name.substr(prefix.size(), 10);
        const bool isDate =
            std::all_of(date.begin(), date.end(), [](char c) { return c == '.' || (c >= '0' && c <= '9'); });
        std::error_code ignored;
        if (isDate && date < oldest) std::filesystem::remove(it->path(), ignored);
    }
}

// Appends whole lines to today's file under an exclusive flock, so that several processes
// writing the same file never interleave. The process that starts a day's file removes the
// files of old days. Caller holds AState.Lock.
void AppendLines(const TLogState& AState, const std::string& ALines) {
    std::string directory = DirectoryOf(AState);
    std::string path = FileNameIn(AState, directory);
    const int flags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC;
    bool started = false;
    auto openFile = [&] {
        int handle = open(path.c_str(), flags);
        if (handle < 0 && errno == ENOENT) {
            handle = open(path.c_str(), flags | O_CREAT | O_EXCL, 0600);
            started = handle >= 0;
            if (handle < 0 && errno == EEXIST)
                handle = open(path.c_str(), flags);  // another process was quicker
        }
        return handle;
    };
    int handle = openFile();
    if (handle < 0 && errno == ENOENT) {
        // The folder is created on the first record only, not checked before every one.
        CreateDirectories(directory);
        handle = openFile();
    }
    TFileDescriptor file(handle);
    if (file.Get() < 0)
        throw std::system_error(errno, std::generic_category(), "Cannot open the log file " + path);
    if (started) RemoveOldFiles(AState, directory);
    while (flock(file.Get(), LOCK_EX) != 0) {
        if (errno != EINTR)
            throw std::system_error(errno, std::generic_category(), "Cannot lock the log file " + path);
    }
    const char* data = ALines.data();
    std::size_t left = ALines.size();
    while (left > 0) {
        ssize_t written = write(file.Get(), data, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category(), "Cannot write the log file " + path);
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    // Closing the descriptor releases the flock.
}

void AppendStopLine(TLogState& AState) { AppendLines(AState, std::string(kStopLine) + kLineEnd + kLineEnd); }

std::string HeaderBlock() {
    std::string name = GetModuleFileName();
    if (auto slash = name.rfind('/'); slash != std::string::npos) name.erase(0, slash + 1);
    const std::string padding(kHeaderPadding, ' ');
    return padding + kLineEnd + "============Start log=============" + kLineEnd + "OS version:\t" +
           GetOSVersionText() + kLineEnd + "Application:\t" + name + kLineEnd + "App. version:\t" +
           GetModuleVersionText() + kLineEnd + padding + kLineEnd;
}

bool Passes(int AMode, TLogLevel ALevel) {
    switch (AMode) {
        case 1: return ALevel == TLogLevel::llError || ALevel == TLogLevel::llWarn;
        case 2: return ALevel != TLogLevel::llDebug;
        case 3: return true;
        default: return false;
    }
}

TLogState::~TLogState() {
    // Unload: close the log as switching it off would. Nothing may escape a static destructor.
    try {
        std::lock_guard guard(Lock);
        if (Mode.load() != 0 && HeaderWritten) AppendStopLine(*this);
    } catch (...) {
    }
}

std::string EscapeBreaks(std::string_view AText) {
    std::string out;
    out.reserve(AText.size());
    for (char c : AText) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

}  // namespace

const char* LogLevelText(TLogLevel ALevel) {
    switch (ALevel) {
        case TLogLevel::llInfo: return "INFO";
        case TLogLevel::llDebug: return "DEBUG";
        case TLogLevel::llError: return "ERROR";
        case TLogLevel::llWarn: return "WARN";
    }
    return "";
}


std::string FormatLogRecord(std::chrono::system_clock::time_point ATime, const std::string& AText,
                            const std::string& ADetail, TLogLevel ALevel, TLogBreaks ABreaks) {
    int ms = 0;
    std::tm parts = LocalTime(ATime, ms);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d.%02d.%02d %02d:%02d:%02d.%03d", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, ms);
    std::string line = std::string(stamp) + "\t" + LogLevelText(ALevel) + "\t" + EscapeBreaks(TrimControls(AText));
    // The emptiness test looks at the untrimmed detail: a detail of spaces keeps its separator.
    if (!ADetail.empty())
        line += ": \t" + (ABreaks == TLogBreaks::lbKeepInDetail ? std::string(TrimControls(ADetail))
                                                                : EscapeBreaks(TrimControls(ADetail)));
    return line;
}

void WriteLog(const std::string& AText, const std::string& ADetail, TLogLevel ALevel, TLogBreaks ABreaks) {
    TLogState& state = LogState();
    if (!Passes(state.Mode.load(std::memory_order_relaxed), ALevel)) return;
    std::lock_guard guard(state.Lock);
    int mode = state.Mode.load();
    if (!Passes(mode, ALevel)) return;
    std::string lines;
    if (!state.HeaderWritten) lines = HeaderBlock();
    lines += FormatLogRecord(Now(state), AText, ADetail, ALevel, ABreaks) + kLineEnd;
    AppendLines(state, lines);
    state.HeaderWritten = true;
}

void SetLogMode(int AMode) {
    AMode = std::clamp(AMode, 0, 3);
    TLogState& state = LogState();
    std::lock_guard guard(state.Lock);
    int old = state.Mode.load();
    if (old != 0 && AMode == 0) {
        // The mode changes even when the stop line cannot be written.
        bool header = state.HeaderWritten;
        state.HeaderWritten = false;
        state.Mode.store(0);
        if (header) AppendStopLine(state);
        return;
    }
    state.Mode.store(AMode);
}

int GetLogMode() { return LogState().Mode.load(); }

bool LogPasses(TLogLevel ALevel) { return Passes(LogState().Mode.load(), ALevel); }

std::string GetLogFileName(bool ADirectoryOnly) {
    TLogState& state = LogState();
    std::lock_guard guard(state.Lock);
    return LogFileName(state, ADirectoryOnly);
}

std::string DefaultLogDirectory() {
    if (const char* overridden = std::getenv("QUORVANE_LOG_DIR");
        overridden != nullptr && *overridden != '\0') {
        return overridden;
    }
    std::string data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') {
        data = xdg;
    } else {
        const char* home = std::getenv("HOME");
        data = std::string(home != nullptr ? home : "") + "/.local/share";
    }
    while (data.size() > 1 && data.back() == '/') data.pop_back();
    return data + "/Venbrook/quorvane";
}

void SetLogDirectory(const std::string& ADirectory) {
    TLogState& state = LogState();
    std::lock_guard guard(state.Lock);
    state.Directory = ADirectory;
}

void SetLogBaseName(const std::string& ABaseName) {
    TLogState& state = LogState();
    std::lock_guard guard(state.Lock);
    state.BaseName = ABaseName;
}

void SetLogClock(TLogClock AClock) {
    TLogState& state = LogState();
    std::lock_guard guard(state.Lock);
    state.Clock = std::move(AClock);
}

}  // namespace quorvane
