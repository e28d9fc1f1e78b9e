#include "help/viewer_actions.h"

#include "errors/messages.h"
#include "help/markdown_renderer.h"

namespace quorvane {

// The log viewer has no Windows window yet: the action says so rather than pretending to have
// shown something.
void ShowLogViewer() { throw TMessageError(TMessage::WindowsNotBuiltYet); }

void ShowHelp() { TMarkdownRenderer::Render("help", MessageText(TMessage::HelpCaption)); }

}  // namespace quorvane
