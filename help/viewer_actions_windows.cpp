#include "help/viewer_actions.h"

#include "errors/messages.h"
#include "help/log_window_windows.h"
#include "log/driver_log.h"

namespace quorvane {

void ShowLogViewer() { RunLogWindow(GetLogFileName(true)); }

// The Windows build has no help window yet: the action says so rather than pretending to have
// shown something.
void ShowHelp() { throw TMessageError(TMessage::WindowsNotBuiltYet); }

}  // namespace quorvane
