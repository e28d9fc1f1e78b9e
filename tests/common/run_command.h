#pragma once

#include <string>

namespace quorvane::test {

struct TCommandRun {
    int Status = -1;     // the exit status; -1 when the program did not exit normally
    std::string Output;  // standard output and standard error, interleaved as written
};

// Runs a shell command line and waits for it.
TCommandRun RunCommand(const std::string& ACommand);

}  // namespace quorvane::test
