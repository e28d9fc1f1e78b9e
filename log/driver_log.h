#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace quorvane {

// Levels of a log record; the numbers are those of the log's mode filter. A warning is
// something that went through but may not have done what was meant; it passes where
// information does.
enum class TLogLevel { llInfo = 0, llDebug = 1, llError = 2, llWarning = 3 };

// The process-wide driver log: one mode and one folder for every driver object.
// Mode 0 off, 1 errors only, 2 information and errors, 3 everything.
// Mode, header flag and appends are safe to use from any thread. A folder that cannot be used
// gives way to $XDG_RUNTIME_DIR/quorvane, then to a private folder under the temporary folder
// (Linux), or to the user's roaming application-data folder + "\Venbrook\quorvane" (Windows).
// A record that cannot be written even so raises TMessageError (a Russian text) to the caller.
// Line breaks inside a record: escaped as the two characters "\r" and "\n", so that a value
// (a setting, a host string) cannot add lines that look like records; kept only in a detail
// made of lines the driver composed itself (a printer script sent).
enum class TLogBreaks { lbEscape, lbKeepInDetail };

void WriteLog(const std::string& AText, const std::string& ADetail, TLogLevel ALevel,
              TLogBreaks ABreaks = TLogBreaks::lbEscape);
// Switching from on to off appends the stop line when a header was written. Values outside
// 0..3 are clamped.
void SetLogMode(int AMode);
int GetLogMode();
// True when a record of ALevel would be written in the current mode; lets callers skip
// building a costly text that would be dropped.
bool LogPasses(TLogLevel ALevel);
// The folder the records go to (a fallback when the wanted one cannot be used), with a
// trailing "/" ("\" on Windows), or today's file there; creates the folder on demand.
std::string GetLogFileName(bool ADirectoryOnly);

// QUORVANE_LOG_DIR when set, else $XDG_DATA_HOME (default ~/.local/share) + "/Venbrook/quorvane";
// on Windows the common application-data folder (the user's roaming one when there is none)
// + "\Venbrook\quorvane".
// Read at each use, so nothing needs to set the folder at load.
std::string DefaultLogDirectory();
// An explicit folder (no trailing "/" needed); an empty text returns to DefaultLogDirectory().
void SetLogDirectory(const std::string& ADirectory);
// The base of the file names ("quorvane" gives quorvane_2026.12.08.log). Folder and extension
// are dropped; empty means the library's own file name without extension.
void SetLogBaseName(const std::string& ABaseName);

// Everything the log takes from the clock; tests replace it to cross midnight.
using TLogClock = std::function<std::chrono::system_clock::time_point()>;
// A null clock restores the system clock.
void SetLogClock(TLogClock AClock);

// One record line without its line end: "yyyy.mm.dd hh:nn:ss.zzz", TAB, level, TAB, trimmed text,
// and for a non-empty detail ": " TAB and the trimmed detail. Exposed for tests.
std::string FormatLogRecord(std::chrono::system_clock::time_point ATime, const std::string& AText,
                            const std::string& ADetail, TLogLevel ALevel,
                            TLogBreaks ABreaks = TLogBreaks::lbEscape);
// "INFO", "DEBUG", "ERROR", "WARN".
const char* LogLevelText(TLogLevel ALevel);

}  // namespace quorvane
