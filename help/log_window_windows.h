#pragma once

#include <string>

namespace quorvane {

// The log viewer as a modal window of the calling thread, over its active window (disabled
// meanwhile): returns when the window is closed. A failure inside the window closes it and is
// thrown here.
void RunLogWindow(const std::string& ADirectory);

// Child control ids, for the tests that drive the window.
enum TLogWindowControl : int {
    lwcDays = 101,       // the day files (combo box)
    lwcOpenFolder = 102,
    lwcRecords = 103,    // the shown file's records (rich edit)
    lwcFind = 104,       // the find field
    lwcFindPrevious = 105,
    lwcFindNext = 106,
};

}  // namespace quorvane
