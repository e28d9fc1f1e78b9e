#include "help/viewer_actions.h"

#include "errors/messages.h"
#include "help/markdown_renderer.h"
#include "help/viewer_program.h"
#include "log/driver_log.h"

namespace quorvane {

void ShowLogViewer() {
    CheckDisplayAvailable();
    RunViewerProgram({"log", GetLogFileName(true)});
}

void TMarkdownRenderer::ShowPage(const std::string& APagePath, const std::string& ACaption) {
    RunViewerProgram({"help", APagePath, ACaption});
}

void ShowHelp() {
    CheckDisplayAvailable();
    TMarkdownRenderer::Render("help", MessageText(TMessage::HelpCaption));
}

}  // namespace quorvane
