#include "tools/host/host_commands.h"

#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <ostream>
#include <stdexcept>

#include "addin/wide_string.h"

namespace quorvane::host {

namespace {

// The locale name the platform would hand over: the process locale without its encoding.
std::u16string ProcessLocaleName() {
    const char* current = std::setlocale(LC_CTYPE, nullptr);
    std::string name = current != nullptr ? current : "C";
    if (auto dot = name.find('.'); dot != std::string::npos) name.erase(dot);
    return Utf8ToWide(name);
}

bool IsFalse(const V8Variant& AValue) { return (AValue.vt & VTYPE_MASK) == VTYPE_BOOL && !AValue.VarEnum.bVal; }

bool RunInfo(THostSession& ASession, const std::vector<std::string>&) {
    std::ostream& out = ASession.Out;
    std::u16string names = ASession.Library.ClassNames();
    out << "Component: " << ASession.Library.Path() << "\n";
    out << "Classes: " << WideToUtf8(names) << "\n";
    bool allCreated = true;
    std::size_t start = 0;
    while (!names.empty() && start <= names.size()) {
        std::size_t end = names.find(u'|', start);
        if (end == std::u16string::npos) end = names.size();
        std::u16string name = names.substr(start, end - start);
        start = end + 1;
        std::unique_ptr<THostObject> created;
        try {
            created = std::make_unique<THostObject>(ASession.Library, name, ASession.Memory, ASession.Connection,
                                                    ProcessLocaleName());
        } catch (const std::exception& e) {
            ASession.Err << "quorvane-host: " << e.what() << "\n";
            allCreated = false;
            continue;
        }
        THostObject& object = *created;
        TV8LanguageExtender& ext = object.Extender();
        long methods = ext.GetNMethods();
        long props = ext.GetNProps();
        out << "\nClass " << WideToUtf8(name) << " (extension " << WideToUtf8(object.ExtensionName()) << "): "
            << methods << " methods, " << props << " properties\n";
        out << "Methods:\n";
        for (long i = 0; i < methods; ++i) {
            char number[32];
            std::snprintf(number, sizeof number, "%4ld", i);
            out << number << "  " << WideToUtf8(object.MethodName(i, 0)) << " / " << WideToUtf8(object.MethodName(i, 1))
                << "  params " << ext.GetNParams(i) << (ext.HasRetVal(i) ? "  function" : "  procedure") << "\n";
        }
        out << "Properties:\n";
        for (long i = 0; i < props; ++i) {
            char number[32];
            std::snprintf(number, sizeof number, "%4ld", i);
            out << number << "  " << WideToUtf8(object.PropName(i, 0)) << " / " << WideToUtf8(object.PropName(i, 1))
                << (ext.IsPropReadable(i) ? "  readable" : "") << (ext.IsPropWritable(i) ? "  writable" : "") << "\n";
        }
    }
    return allCreated;
}

bool RunCall(THostSession& ASession, const std::vector<std::string>& AArgs) {
    THostValues params(ASession.Memory);
    for (std::size_t i = 1; i < AArgs.size(); ++i) params.Add(ParseTypedValue(ASession.Memory, AArgs[i]));
    THostValues result(ASession.Memory);
    std::size_t firstError = ASession.Connection.Errors.size();
    bool ok = ASession.Object->Call(Utf8ToWide(AArgs[0]), params, result);
    if (result.Count() > 0) ASession.Out << "Result: " << FormatTypedValue(result[0]) << "\n";
    for (long i = 0; i < params.Count(); ++i) {
        ASession.Out << "Param " << i + 1 << ": " << FormatTypedValue(params[static_cast<std::size_t>(i)]) << "\n";
    }
    bool failed = !ok || (result.Count() > 0 && IsFalse(result[0]));
    if (!ok) ASession.Err << "Call failed: " << AArgs[0] << "\n";
    if (failed) ASession.PrintErrors(firstError);
    return !failed;
}

bool RunGet(THostSession& ASession, const std::vector<std::string>& AArgs) {
    THostValues value(ASession.Memory);
    std::size_t firstError = ASession.Connection.Errors.size();
    bool ok = ASession.Object->GetProp(Utf8ToWide(AArgs[0]), value);
    if (ok) {
        ASession.Out << AArgs[0] << " = " << FormatTypedValue(value[0]) << "\n";
    } else {
        ASession.Err << "Cannot read " << AArgs[0] << "\n";
        ASession.PrintErrors(firstError);
    }
    return ok;
}

bool RunSet(THostSession& ASession, const std::vector<std::string>& AArgs) {
    THostValues value(ASession.Memory);
    value.Add(ParseTypedValue(ASession.Memory, AArgs[1]));
    std::size_t firstError = ASession.Connection.Errors.size();
    bool ok = ASession.Object->SetProp(Utf8ToWide(AArgs[0]), value);
    if (!ok) {
        ASession.Err << "Cannot write " << AArgs[0] << "\n";
        ASession.PrintErrors(firstError);
    }
    return ok;
}

// Calls a driver method whose one parameter receives an XML document and prints that text as
// it is; a failure prints the driver's GetLastError text.
bool RunDocument(THostSession& ASession, const char16_t* AMethod) {
    THostValues params(ASession.Memory);
    params.Add(EmptyValue());
    THostValues result(ASession.Memory);
    const bool ok = ASession.Object->Call(AMethod, params, result);
    if (ok && !IsFalse(result[0])) {
        const V8Variant& text = params[0];
        if ((text.vt & VTYPE_MASK) == VTYPE_PWSTR && text.VarEnum.vtRecWideString.pwstrVal != nullptr)
            ASession.Out << WideToUtf8(WideView(text.VarEnum.vtRecWideString.pwstrVal));
        return true;
    }
    THostValues error(ASession.Memory);
    error.Add(EmptyValue());
    THostValues code(ASession.Memory);
    ASession.Object->Call(u"GetLastError", error, code);
    ASession.Err << WideToUtf8(AMethod) << " failed: " << FormatTypedValue(error[0]) << "\n";
    return false;
}

// Runs an additional action, which may show a window and return when it is closed; a failure
// prints the driver's GetLastError text.
bool RunAction(THostSession& ASession, const std::string& AName) {
    THostValues params(ASession.Memory);
    params.Add(ParseTypedValue(ASession.Memory, "s:" + AName));
    THostValues result(ASession.Memory);
    const bool ok = ASession.Object->Call(u"DoAdditionalAction", params, result);
    if (ok && result.Count() > 0 && !IsFalse(result[0])) {
        ASession.Out << "Result: " << FormatTypedValue(result[0]) << "\n";
        return true;
    }
    THostValues error(ASession.Memory);
    error.Add(EmptyValue());
    THostValues code(ASession.Memory);
    ASession.Object->Call(u"GetLastError", error, code);
    ASession.Err << "DoAdditionalAction " << AName << " failed: " << FormatTypedValue(error[0]) << "\n";
    return false;
}

void PrintUsage(std::ostream& AOut, const THostCommandTable& ACommands) {
    AOut << "usage: quorvane-host [--component PATH] [--class NAME] [--set NAME=VALUE]... COMMAND [ARG]...\n"
            "                     [-- COMMAND [ARG]...]...\n"
            "An ARG or VALUE is typed: i:12  d:3.5  b:true  s:text (untyped text is a string).\n"
            "Commands:\n";
    for (const THostCommand& command : ACommands.All()) {
        std::string head = "  " + command.Name + (command.Usage.empty() ? "" : " " + command.Usage);
        if (head.size() < 26) head.resize(26, ' ');
        AOut << head << " " << command.Help << "\n";
    }
}

}  // namespace

THostSession::THostSession(const std::string& APath, const std::u16string& AClassName, std::ostream& AOut,
                           std::ostream& AErr)
    : Library(APath), ClassName(AClassName), Out(AOut), Err(AErr) {}

void THostSession::PrintErrors(std::size_t AFirst) const {
    for (std::size_t i = AFirst; i < Connection.Errors.size(); ++i) {
        Err << "Error: " << WideToUtf8(Connection.Errors[i].Description) << "\n";
    }
}

void THostCommandTable::Add(THostCommand ACommand) { FCommands.push_back(std::move(ACommand)); }

const THostCommand* THostCommandTable::Find(const std::string& AName) const {
    for (const THostCommand& command : FCommands) {
        if (command.Name == AName) return &command;
    }
    return nullptr;
}

void AddBasicCommands(THostCommandTable& ATable) {
    ATable.Add({"info", "", "class names; every method and property with both names", 0, 0, RunInfo});
    ATable.Add({"call", "METHOD [ARG]...", "call by English or localized name; prints the result and every parameter",
                1, -1, RunCall});
    ATable.Add({"get", "PROP", "read a property", 1, 1, RunGet});
    ATable.Add({"set", "PROP VALUE", "write a property", 2, 2, RunSet});
    ATable.Add({"parameters", "", "print the settings schema (GetParameters)", 0, 0,
                [](THostSession& ASession, const std::vector<std::string>&) {
                    return RunDocument(ASession, u"GetParameters");
                }});
    ATable.Add({"description", "", "print the driver description (GetDescription)", 0, 0,
                [](THostSession& ASession, const std::vector<std::string>&) {
                    return RunDocument(ASession, u"GetDescription");
                }});
    ATable.Add({"action", "NAME", "run an additional action (DoAdditionalAction), e.g. ViewLog", 1, 1,
                [](THostSession& ASession, const std::vector<std::string>& AArgs) {
                    return RunAction(ASession, AArgs[0]);
                }});
}

THostCommandTable DefaultCommands() {
    THostCommandTable table;
    AddBasicCommands(table);
    return table;
}

std::string DefaultComponentPath() {
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return "libquorvane.so";
    std::string exe(path, static_cast<std::size_t>(length));
    std::string dir = exe.substr(0, exe.rfind('/'));
    return dir + "/../../libquorvane.so";
}

int RunHost(const std::vector<std::string>& AArgs, std::ostream& AOut, std::ostream& AErr,
            const THostCommandTable& ACommands) {
    std::string component = DefaultComponentPath();
    std::string className;
    std::vector<std::pair<std::string, std::string>> settings;
    std::size_t i = 0;
    auto needValue = [&](const std::string& AOption) {
        if (i + 1 >= AArgs.size()) throw std::invalid_argument(AOption + " needs a value");
        return AArgs[++i];
    };
    // Commands are the words after the options, split at "--".
    std::vector<std::vector<std::string>> commands;
    try {
        for (; i < AArgs.size(); ++i) {
            const std::string& arg = AArgs[i];
            if (arg == "--component") {
                component = needValue(arg);
            } else if (arg == "--class") {
                className = needValue(arg);
            } else if (arg == "--set") {
                std::string setting = needValue(arg);
                auto equals = setting.find('=');
                if (equals == std::string::npos || equals == 0) throw std::invalid_argument("--set needs NAME=VALUE");
                settings.emplace_back(setting.substr(0, equals), setting.substr(equals + 1));
            } else if (arg == "--help" || arg == "-h") {
                PrintUsage(AOut, ACommands);
                return 0;
            } else {
                break;
            }
        }
        for (commands.emplace_back(); i < AArgs.size(); ++i) {
            if (AArgs[i] == "--") {
                commands.emplace_back();
            } else {
                commands.back().push_back(AArgs[i]);
            }
        }
        for (const auto& command : commands) {
            if (command.empty()) throw std::invalid_argument("a command is missing");
            const THostCommand* known = ACommands.Find(command[0]);
            if (known == nullptr) throw std::invalid_argument("unknown command " + command[0]);
            int args = static_cast<int>(command.size()) - 1;
            if (args < known->MinArgs || (known->MaxArgs >= 0 && args > known->MaxArgs)) {
                throw std::invalid_argument("usage: " + known->Name + " " + known->Usage);
            }
        }
    } catch (const std::exception& e) {
        AErr << "quorvane-host: " << e.what() << "\n";
        PrintUsage(AErr, ACommands);
        return 2;
    }

    std::unique_ptr<THostSession> session;
    try {
        session = std::make_unique<THostSession>(component, Utf8ToWide(className), AOut, AErr);
        if (session->ClassName.empty()) {
            std::u16string names = session->Library.ClassNames();
            session->ClassName = names.substr(0, names.find(u'|'));
        }
        session->Object = std::make_unique<THostObject>(session->Library, session->ClassName, session->Memory,
                                                        session->Connection, ProcessLocaleName());
    } catch (const std::exception& e) {
        AErr << "quorvane-host: " << e.what() << "\n";
        return 2;
    }

    bool allOk = true;
    try {
        for (const auto& [name, value] : settings) {
            if (!RunCall(*session, {"SetParameter", "s:" + name, value})) allOk = false;
        }
        for (const auto& command : commands) {
            const THostCommand* known = ACommands.Find(command[0]);
            std::vector<std::string> args(command.begin() + 1, command.end());
            try {
                if (!known->Run(*session, args)) allOk = false;
            } catch (const std::invalid_argument& e) {
                AErr << "quorvane-host: " << e.what() << "\n";
                return 2;
            }
        }
    } catch (const std::exception& e) {
        AErr << "quorvane-host: " << e.what() << "\n";
        return 2;
    }
    return allOk ? 0 : 1;
}

}  // namespace quorvane::host
