#pragma once

namespace quorvane {

// The driver's two additional actions. Each shows its window and returns when the user has
// closed it; without a display, or when the viewer cannot start, it fails at once.

// The log viewer on the driver log's folder.
void ShowLogViewer();

// The component's embedded help (resource "help") with the caption "Справка".
void ShowHelp();

}  // namespace quorvane
