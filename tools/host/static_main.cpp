// quorvane-host-static: the host's own and printing commands in a program that needs no shared
// library but glibc, so that loading the component on a bare machine proves the component's own
// run-time list (make test-install). The script command stays out: it links the driver itself.

#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "tools/host/host_commands.h"
#include "tools/host/print_commands.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::vector<std::string> args(argv + 1, argv + argc);
    quorvane::host::THostCommandTable commands = quorvane::host::DefaultCommands();
    quorvane::host::AddPrintCommands(commands);
    return quorvane::host::RunHost(args, std::cout, std::cerr, commands);
}
