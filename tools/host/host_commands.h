#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "tools/host/host_component.h"

namespace quorvane::host {

// What the commands of one run share: the library, the host's services and one object.
struct THostSession {
    THostSession(const std::string& APath, const std::u16string& AClassName, std::ostream& AOut, std::ostream& AErr);

    TComponentLibrary Library;
    THostMemoryManager Memory;
    THostConnection Connection;
    std::u16string ClassName;
    std::unique_ptr<THostObject> Object;  // last: destroyed before the library is unloaded
    std::ostream& Out;
    std::ostream& Err;

    // Prints the AddError texts recorded since AFirst to Err.
    void PrintErrors(std::size_t AFirst) const;
};

struct THostCommand {
    std::string Name;
    std::string Usage;  // arguments, e.g. "METHOD [ARG]..."
    std::string Help;
    int MinArgs = 0;
    int MaxArgs = -1;  // -1: any number
    // False when the call failed; the run then ends with status 1 after the other commands.
    std::function<bool(THostSession&, const std::vector<std::string>&)> Run;
};

// Commands by name; later commands are added with Add next to the basic ones.
class THostCommandTable {
public:
    void Add(THostCommand ACommand);
    const THostCommand* Find(const std::string& AName) const;
    const std::vector<THostCommand>& All() const { return FCommands; }

private:
    std::vector<THostCommand> FCommands;
};

// info, call, get, set.
void AddBasicCommands(THostCommandTable& ATable);
// Every command the tool knows.
THostCommandTable DefaultCommands();

// The whole command line: [--component PATH] [--class NAME] [--set NAME=VALUE]... COMMAND [ARG]...
// [-- COMMAND [ARG]...]... Returns 0 when every call succeeded, 1 when one failed, 2 for a
// usage error or a component that cannot be loaded.
int RunHost(const std::vector<std::string>& AArgs, std::ostream& AOut, std::ostream& AErr,
            const THostCommandTable& ACommands = DefaultCommands());

// The component next to the tool in a build tree (build/libquorvane.so).
std::string DefaultComponentPath();

}  // namespace quorvane::host
