#pragma once

#include <string>

namespace quorvane {

// Levels of a log record; the numbers are those of the log's mode filter.
enum class TLogLevel { llInfo = 0, llDebug = 1, llError = 2 };

// The process-wide driver log: one mode and one folder for every driver object.
// Mode 0 off, 1 errors only, 2 information and errors, 3 everything.
void WriteLog(const std::string& AText, const std::string& ADetail, TLogLevel ALevel);
void SetLogMode(int AMode);
int GetLogMode();
// The log folder with a trailing "/" or today's file; creates the folder on demand.
std::string GetLogFileName(bool ADirectoryOnly);

}  // namespace quorvane
