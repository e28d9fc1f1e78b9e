#include "help/viewer_actions.h"

#include "errors/messages.h"

namespace quorvane {

// The Windows build has no log viewer or help window yet: both actions say so rather than
// pretending to have shown something.
void ShowLogViewer() { throw TMessageError(TMessage::WindowsNotBuiltYet); }

void ShowHelp() { throw TMessageError(TMessage::WindowsNotBuiltYet); }

}  // namespace quorvane
