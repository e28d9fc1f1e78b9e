#pragma once

#include <string>
#include <vector>

namespace quorvane {

// Fails at once when there is no graphical display to open a window on.
void CheckDisplayAvailable();

// Writes the viewer program embedded in the component (resource "viewer") into a private
// temporary folder, runs it with AArguments and waits until it exits, which makes its window
// modal for the caller. A failed start or a failure exit is raised with the program's own
// error output; the folder is removed in every case.
void RunViewerProgram(const std::vector<std::string>& AArguments);

}  // namespace quorvane
