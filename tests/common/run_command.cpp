#include "tests/common/run_command.h"

#include <sys/wait.h>

#include <cstdio>
#include <stdexcept>

namespace quorvane::test {

TCommandRun RunCommand(const std::string& ACommand) {
    FILE* pipe = ::popen((ACommand + " 2>&1").c_str(), "r");
    if (pipe == nullptr) throw std::runtime_error("cannot run " + ACommand);
    TCommandRun run;
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.Output.append(buffer, n);
    const int status = ::pclose(pipe);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace quorvane::test
