#include "log/driver_log.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <vector>

#include "errors/messages.h"
#include "errors/system_errors.h"
#include "log/log_file.h"
#include "log/version_info.h"
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
    // The folder the records go to, and the wanted folder it was chosen for: a fallback when
    // the wanted one could not be used.
    std::string Active;
    std::string ActiveFor;
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
    return LocalTimeOf(static_cast<std::time_t>(seconds.count()));
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
    while (directory.size() > 1 && directory.back() == LogPathDelimiter()) directory.pop_back();
    return directory;
}

std::string BaseNameOf(const TLogState& AState) {
    std::string name = AState.BaseName.empty() ? GetModuleFileName() : AState.BaseName;
    if (auto slash = name.find_last_of(LogPathDelimiters()); slash != std::string::npos)
        name.erase(0, slash + 1);
    if (auto dot = name.find('.'); dot != std::string::npos) name.erase(dot);
    return name;
}

// The wanted folder first; when it cannot be created or written (a home that is not writable),
// $XDG_RUNTIME_DIR/quorvane, then a private folder under the temporary folder. Only when none
// can be used does a record fail, naming every place tried. Caller holds AState.Lock.
std::string ActiveDirectory(TLogState& AState) {
    const std::string wanted = DirectoryOf(AState);
    if (!AState.Active.empty() && AState.ActiveFor == wanted) return AState.Active;
    std::vector<std::pair<std::string, bool>> places{{wanted, false}};
    for (auto& place : FallbackLogFolders()) places.push_back(std::move(place));
    std::string tried;
    for (const auto& [place, shared] : places) {
        try {
            PrepareLogFolder(place, shared);
            AState.Active = place;
            AState.ActiveFor = wanted;
            return place;
        } catch (const TLogFolderProblem& problem) {
            tried += (tried.empty() ? "" : "; ") + place + " — " + SystemErrorText(problem.Error);
        }
    }
    throw TMessageError(TMessage::LogFolderUnusable, tried);
}

std::string FileNameIn(const TLogState& AState, const std::string& ADirectory) {
    return ADirectory + LogPathDelimiter() + BaseNameOf(AState) + "_" + FileDate(Now(AState)) + ".log";
}

std::string LogFileName(TLogState& AState, bool ADirectoryOnly) {
    const std::string directory = ActiveDirectory(AState);
    return ADirectoryOnly ? directory + LogPathDelimiter() : FileNameIn(AState, directory);
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

// Appends whole lines to today's file under an exclusive lock, so that several processes
// writing the same file never interleave. The process that starts a day's file removes the
// files of old days. Caller holds AState.Lock.
void AppendLines(TLogState& AState, const std::string& ALines) {
    std::string directory = ActiveDirectory(AState);
    std::string path = FileNameIn(AState, directory);
    bool started = false;
    std::unique_ptr<TLogFile> file = TLogFile::Open(path, started);
    if (!file && errno != ELOOP) {
        // The folder went away or became unwritable since it was chosen: choose again.
        AState.Active.clear();
        directory = ActiveDirectory(AState);
        path = FileNameIn(AState, directory);
        file = TLogFile::Open(path, started);
    }
    if (!file) throw TMessageError(TMessage::LogFileOpenFailed, path, SystemErrorText(errno));
    if (started) RemoveOldFiles(AState, directory);
    if (!file->Lock()) throw TMessageError(TMessage::LogFileLockFailed, path, SystemErrorText(errno));
    if (!file->Append(ALines))
        throw TMessageError(TMessage::LogFileWriteFailed, path, SystemErrorText(errno));
}

void AppendStopLine(TLogState& AState) { AppendLines(AState, std::string(kStopLine) + kLineEnd + kLineEnd); }

std::string HeaderBlock() {
    std::string name = GetModuleFileName();
    if (auto slash = name.find_last_of(LogPathDelimiters()); slash != std::string::npos)
        name.erase(0, slash + 1);
    const std::string padding(kHeaderPadding, ' ');
    return padding + kLineEnd + "============Start log=============" + kLineEnd + "OS version:\t" +
           GetOSVersionText() + kLineEnd + "Application:\t" + name + kLineEnd + "App. version:\t" +
           GetModuleVersionText() + kLineEnd + padding + kLineEnd;
}

bool Passes(int AMode, TLogLevel ALevel) {
    switch (AMode) {
        case 1: return ALevel == TLogLevel::llError;
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

std::string LogFolderIn(const std::string& AParent) {
    std::string folder = AParent;
    while (!folder.empty() && folder.back() == LogPathDelimiter()) folder.pop_back();
    return folder + LogPathDelimiter() + "Venbrook" + LogPathDelimiter() + "quorvane";
}

std::string DefaultLogDirectory() {
    if (std::string overridden = EnvironmentValue("QUORVANE_LOG_DIR"); !overridden.empty()) return overridden;
    return LogFolderIn(ApplicationDataFolder());
}

const char* LogLevelText(TLogLevel ALevel) {
    switch (ALevel) {
        case TLogLevel::llInfo: return "INFO";
        case TLogLevel::llDebug: return "DEBUG";
        case TLogLevel::llError: return "ERROR";
        case TLogLevel::llWarning: return "WARN";
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
