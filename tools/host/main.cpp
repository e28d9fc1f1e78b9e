// quorvane-host: loads the component as the platform does and calls it by name.

#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "tools/host/devices_command.h"
#include "tools/host/host_commands.h"
#include "tools/host/host_platform.h"
#include "tools/host/print_commands.h"
#include "tools/host/script_command.h"

int main(int argc, char** argv) {
    // The platform runs with the user's locale; so does the component under this host.
    std::setlocale(LC_ALL, "");
    std::vector<std::string> args(argv + 1, argv + argc);
    quorvane::host::THostCommandTable commands = quorvane::host::DefaultCommands();
    quorvane::host::AddScriptCommand(commands);
    quorvane::host::AddPrintCommands(commands);
    quorvane::host::AddDevicesCommand(commands);
    return quorvane::host::RunHost(args, std::cout, std::cerr, commands, quorvane::host::StdoutIsTerminal(),
                                   &std::cin);
}
