#pragma once

#include <string>

namespace quorvane {

// Shows the markdown of AFolder (its first .md file, the pictures beside it) in a modal window
// of the calling thread over the thread's active window, and returns when it is closed.
void ShowHelpWindow(const std::string& AFolder, const std::string& ACaption);

}  // namespace quorvane
