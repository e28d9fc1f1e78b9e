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
    THostSession(const std::string& APath, const std::u16string& AClassName, std::ostream& AOut,
                 std::ostream& AErr);

    TComponentLibrary Library;
    THostMemoryManager Memory;
    THostConnection Connection;
    std::u16string ClassName;
    std::unique_ptr<THostObject> Object;  // last: destroyed before the library is unloaded
    std::ostream& Out;
    std::ostream& Err;
    std::istream* In = nullptr;  // "-" as a document; null: nothing to read
    bool OutIsTerminal = false;
    // Every setting the run handed the object, in order (defaults, then the user's), in the
    // typed notation: commands that build in-process replay them.
    std::vector<std::pair<std::string, std::string>> Settings;

    // Prints the AddError texts recorded since AFirst to Err.
    void PrintErrors(std::size_t AFirst) const;
    // Calls AMethod; true when the call went through and did not return false.
    bool CallSucceeded(std::u16string_view AMethod, THostValues& AParams, THostValues& AResult);
    // Why the call that failed after AFirst host errors failed: GetLastError's text, else the
    // host errors recorded since, else a sentence saying no reason was given. Never empty.
    std::string FailureReason(std::size_t AFirst);
    // A document by path, or standard input for "-"; std::invalid_argument when unreadable.
    std::string ReadInput(const std::string& APath) const;
    // Every property name of the object, English and localized.
    std::vector<std::string> PropertyNames();
    // A property's value in the typed notation, or "" when it cannot be read.
    std::string PropText(std::u16string_view AName);
};

// The text of a string record; "" for any other value.
std::string TextOf(const V8Variant& AValue);

struct THostCommand {
    std::string Name;
    std::string Usage;  // arguments, e.g. "METHOD [ARG]..."
    std::string Help;
    int MinArgs = 0;
    int MaxArgs = -1;  // -1: any number
    // False when the call failed; the run then ends with status 1 after the other commands.
    std::function<bool(THostSession&, const std::vector<std::string>&)> Run;
    // Works with the device: the settings schema's defaults are applied before the user's.
    bool UsesDefaults = false;
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
// [-- COMMAND [ARG]...]...; a --set anywhere applies to every command. Returns 0 when every call
// succeeded, 1 when the component reported a failure, 2 for a usage error, unreadable input or a
// component that cannot be loaded. AOutIsTerminal: AOut is a terminal; AIn serves "-".
int RunHost(const std::vector<std::string>& AArgs, std::ostream& AOut, std::ostream& AErr,
            const THostCommandTable& ACommands = DefaultCommands(), bool AOutIsTerminal = false,
            std::istream* AIn = nullptr);

// The component next to the tool in a build tree (build/libquorvane.so).
std::string DefaultComponentPath();

}  // namespace quorvane::host
