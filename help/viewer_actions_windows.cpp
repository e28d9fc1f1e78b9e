#include "help/viewer_actions.h"

#include "errors/messages.h"
#include "help/log_window_windows.h"
#include "help/markdown_renderer.h"
#include "log/driver_log.h"

namespace quorvane {

void ShowLogViewer() { RunLogWindow(GetLogFileName(true)); }

void ShowHelp() { TMarkdownRenderer::Render("help", MessageText(TMessage::HelpCaption)); }

}  // namespace quorvane
