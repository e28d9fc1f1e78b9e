#include "tools/host/host_commands.h"

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include <pugixml.hpp>

#include "addin/wide_string.h"
#include "quorvane_version.h"
#include "text/ascii_text.h"
#include "text/same_text.h"

namespace quorvane::host {

namespace {

// The locale name the platform would hand over: the process locale without its encoding.
std::u16string ProcessLocaleName() {
    const char* current = std::setlocale(LC_CTYPE, nullptr);
    std::string name = current != nullptr ? current : "C";
    if (auto dot = name.find('.'); dot != std::string::npos) name.erase(dot);
    return Utf8ToWide(name);
}

bool IsFalse(const V8Variant& AValue) {
    return (AValue.vt & VTYPE_MASK) == VTYPE_BOOL && !AValue.VarEnum.bVal;
}

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
            created = std::make_unique<THostObject>(ASession.Library, name, ASession.Memory,
                                                    ASession.Connection, ProcessLocaleName());
        } catch (const std::exception& e) {
            ASession.Err << "quorvane-host: " << e.what() << "\n";
            allCreated = false;
            continue;
        }
        THostObject& object = *created;
        TV8LanguageExtender& ext = object.Extender();
        long methods = ext.GetNMethods();
        long props = ext.GetNProps();
        out << "\nClass " << WideToUtf8(name) << " (extension " << WideToUtf8(object.ExtensionName())
            << "): " << methods << " methods, " << props << " properties\n";
        out << "Methods:\n";
        for (long i = 0; i < methods; ++i) {
            char number[32];
            std::snprintf(number, sizeof number, "%4ld", i);
            out << number << "  " << WideToUtf8(object.MethodName(i, 0)) << " / "
                << WideToUtf8(object.MethodName(i, 1)) << "  params " << ext.GetNParams(i)
                << (ext.HasRetVal(i) ? "  function" : "  procedure") << "\n";
        }
        out << "Properties:\n";
        for (long i = 0; i < props; ++i) {
            char number[32];
            std::snprintf(number, sizeof number, "%4ld", i);
            out << number << "  " << WideToUtf8(object.PropName(i, 0)) << " / "
                << WideToUtf8(object.PropName(i, 1)) << (ext.IsPropReadable(i) ? "  readable" : "")
                << (ext.IsPropWritable(i) ? "  writable" : "") << "\n";
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
        ASession.Out << "Param " << i + 1 << ": " << FormatTypedValue(params[static_cast<std::size_t>(i)])
                     << "\n";
    }
    if (ok && !(result.Count() > 0 && IsFalse(result[0]))) return true;
    ASession.Err << AArgs[0] << " failed: " << ASession.FailureReason(firstError) << "\n";
    return false;
}

bool RunGet(THostSession& ASession, const std::vector<std::string>& AArgs) {
    THostValues value(ASession.Memory);
    std::size_t firstError = ASession.Connection.Errors.size();
    if (ASession.Object->GetProp(Utf8ToWide(AArgs[0]), value)) {
        ASession.Out << AArgs[0] << " = " << FormatTypedValue(value[0]) << "\n";
        return true;
    }
    ASession.Err << "Cannot read " << AArgs[0] << ": " << ASession.FailureReason(firstError) << "\n";
    return false;
}

bool RunSet(THostSession& ASession, const std::vector<std::string>& AArgs) {
    THostValues value(ASession.Memory);
    value.Add(ParseTypedValue(ASession.Memory, AArgs[1]));
    std::size_t firstError = ASession.Connection.Errors.size();
    if (ASession.Object->SetProp(Utf8ToWide(AArgs[0]), value)) return true;
    ASession.Err << "Cannot write " << AArgs[0] << ": " << ASession.FailureReason(firstError) << "\n";
    return false;
}

// Calls a driver method whose one parameter receives an XML document and prints that text as
// it is; a failure prints the driver's GetLastError text.
bool RunDocument(THostSession& ASession, const char16_t* AMethod) {
    THostValues params(ASession.Memory);
    params.Add(EmptyValue());
    THostValues result(ASession.Memory);
    const std::size_t firstError = ASession.Connection.Errors.size();
    if (ASession.CallSucceeded(AMethod, params, result)) {
        ASession.Out << TextOf(params[0]);
        return true;
    }
    ASession.Err << WideToUtf8(AMethod) << " failed: " << ASession.FailureReason(firstError) << "\n";
    return false;
}

// Runs an additional action, which may show a window and return when it is closed; a failure
// prints the driver's GetLastError text.
bool RunAction(THostSession& ASession, const std::string& AName) {
    THostValues params(ASession.Memory);
    params.Add(StringValue(ASession.Memory, AName));
    THostValues result(ASession.Memory);
    const std::size_t firstError = ASession.Connection.Errors.size();
    if (ASession.CallSucceeded(u"DoAdditionalAction", params, result)) {
        ASession.Out << "Result: " << FormatTypedValue(result[0]) << "\n";
        return true;
    }
    ASession.Err << "DoAdditionalAction " << AName << " failed: " << ASession.FailureReason(firstError)
                 << "\n";
    return false;
}

// A --set value in the type the settings schema gives the setting (Number, Boolean, String); a
// typed value (i:12, d:3.5, b:true, s:text) keeps its own type, as does a setting the schema
// does not list. Returns the typed notation; a value the type cannot take is a usage error.
std::string SettingValue(const std::string& AName, const std::string& AValue, const std::string& AType,
                         const std::string& AChoices = {}) {
    const bool typed = AValue.size() >= 2 && AValue[1] == ':' &&
                       std::string_view("idbs").find(AValue[0]) != std::string_view::npos;
    if (typed || AType.empty()) return AValue;
    if (AType == "Number") {
        std::string number = AValue;
        for (char& c : number)
            if (c == ',') c = '.';
        const char* begin = number.data();
        const char* end = begin + number.size();
        std::int32_t whole = 0;
        if (auto [at, ec] = std::from_chars(begin, end, whole); ec == std::errc() && at == end)
            return "i:" + number;
        double real = 0;
        if (auto [at, ec] = std::from_chars(begin, end, real); ec == std::errc() && at == end)
            return "d:" + number;
        throw std::invalid_argument("--set " + AName + "=" + AValue + ": " + AName + " takes a number" +
                                    (AChoices.empty() ? "" : " (" + AChoices + ")"));
    }
    if (AType == "Boolean") {
        if (EqualsIgnoringAsciiCase(AValue, "true") || AValue == "1") return "b:true";
        if (EqualsIgnoringAsciiCase(AValue, "false") || AValue == "0") return "b:false";
        throw std::invalid_argument("--set " + AName + "=" + AValue + ": " + AName + " takes true or false");
    }
    return "s:" + AValue;
}

bool IsLogSwitch(const std::string& AName) {
    return SameTextIgnoreCase(AName, "LogEnabled") || SameTextIgnoreCase(AName, "ЛогВключен");
}

// The settings as the platform hands them to a device: with ADefaults every default of the
// settings schema, then the user's values in order. The log switch goes first (the user's last
// value, else the default), so nothing is logged before the user's choice applies. False after
// a setting the object refused (told on Err); a value its type cannot take throws
// std::invalid_argument.
bool ApplySettings(THostSession& ASession, const std::vector<std::pair<std::string, std::string>>& AUser,
                   bool ADefaults) {
    // Name, schema type and default of each setting the schema lists; none without a schema.
    struct TSchemaSetting {
        std::string Name, Type, Default;
        bool HasDefault = false;
        std::string Choices;  // "0 USB, 1 COM, 2 LAN"
    };
    std::vector<TSchemaSetting> schema;
    THostValues params(ASession.Memory);
    params.Add(EmptyValue());
    THostValues result(ASession.Memory);
    const std::size_t firstError = ASession.Connection.Errors.size();
    bool listed = false;
    try {
        listed = ASession.CallSucceeded(u"GetParameters", params, result);
    } catch (const std::runtime_error&) {
        // A component without GetParameters has no schema: values keep their own notation.
    }
    if (listed) {
        pugi::xml_document document;
        document.load_string(TextOf(params[0]).c_str());
        for (const pugi::xpath_node& node : document.select_nodes("//Parameter")) {
            const pugi::xml_node p = node.node();
            std::string choices;
            for (const pugi::xml_node item : p.child("ChoiceList").children("Item")) {
                const std::string value = item.attribute("Value").value();
                const std::string caption = item.child_value();
                choices += (choices.empty() ? "" : ", ") + value + (caption == value ? "" : " " + caption);
            }
            schema.push_back({p.attribute("Name").value(), p.attribute("TypeValue").value(),
                              p.attribute("DefaultValue").value(),
                              static_cast<bool>(p.attribute("DefaultValue")), choices});
        }
    } else if (ADefaults) {
        ASession.Err << "GetParameters failed: " << ASession.FailureReason(firstError) << "\n";
        return false;
    }
    auto typeOf = [&](const std::string& AName) {
        for (const TSchemaSetting& s : schema)
            if (SameTextIgnoreCase(s.Name, AName)) return s.Type;
        return std::string();
    };
    auto choicesOf = [&](const std::string& AName) {
        for (const TSchemaSetting& s : schema)
            if (SameTextIgnoreCase(s.Name, AName)) return s.Choices;
        return std::string();
    };
    // A name the object has no property for is the user's typing error, like a bad value: found
    // before anything is handed over. Settings are named either way, ignoring case.
    const std::vector<std::string> properties = ASession.PropertyNames();
    for (const auto& [name, value] : AUser) {
        const bool known = properties.empty() || std::any_of(properties.begin(), properties.end(), [&](const auto& p) {
                               return SameTextIgnoreCase(p, name);
                           });
        if (!known) throw std::invalid_argument("--set " + name + "=" + value + ": there is no setting " + name);
    }

    // What is handed over, in order; every value is checked before the first is.
    std::vector<std::pair<std::string, std::string>> order;
    const auto userLog =
        std::find_if(AUser.rbegin(), AUser.rend(), [](const auto& s) { return IsLogSwitch(s.first); });
    if (userLog != AUser.rend()) {
        order.emplace_back(userLog->first, SettingValue(userLog->first, userLog->second, typeOf(userLog->first),
                                                        choicesOf(userLog->first)));
    }
    if (ADefaults) {
        for (const TSchemaSetting& s : schema)
            if (s.HasDefault && IsLogSwitch(s.Name) && userLog == AUser.rend())
                order.emplace(order.begin(), s.Name, SettingValue(s.Name, s.Default, s.Type));
        for (const TSchemaSetting& s : schema)
            if (s.HasDefault && !IsLogSwitch(s.Name))
                order.emplace_back(s.Name, SettingValue(s.Name, s.Default, s.Type));
    }
    for (const auto& [name, value] : AUser)
        if (!IsLogSwitch(name)) order.emplace_back(name, SettingValue(name, value, typeOf(name), choicesOf(name)));

    for (const auto& [name, value] : order) {
        THostValues set(ASession.Memory);
        set.Add(StringValue(ASession.Memory, name));
        set.Add(ParseTypedValue(ASession.Memory, value));
        THostValues answer(ASession.Memory);
        const std::size_t before = ASession.Connection.Errors.size();
        if (!ASession.CallSucceeded(u"SetParameter", set, answer)) {
            ASession.Err << "SetParameter " << name << " failed: " << ASession.FailureReason(before) << "\n";
            return false;
        }
        ASession.Settings.emplace_back(name, value);
    }
    return true;
}

void PrintCommandUsage(std::ostream& AOut, const THostCommand& ACommand) {
    AOut << "usage: quorvane-host [OPTIONS] " << ACommand.Name
         << (ACommand.Usage.empty() ? "" : " " + ACommand.Usage) << "\n"
         << ACommand.Help << "\n";
}

void PrintUsage(std::ostream& AOut, const THostCommandTable& ACommands) {
    AOut << "usage: quorvane-host [--component PATH] [--class NAME] [--set NAME=VALUE]... COMMAND [ARG]...\n"
            "                     [-- COMMAND [ARG]...]...\n"
            "       quorvane-host --version | --help | COMMAND --help\n"
            "A --set anywhere on the line applies to every command: the device commands (print, test,\n"
            "init, script) start from the settings schema's defaults, then take the --set values in order.\n"
            "A VALUE takes the type the schema gives the setting; an ARG, or a VALUE that needs another\n"
            "type, is typed: i:12  d:3.5  b:true  s:text (untyped text is a string). A FILE of - is\n"
            "standard input.\n"
            "Commands:\n";
    for (const THostCommand& command : ACommands.All()) {
        std::string head = "  " + command.Name + (command.Usage.empty() ? "" : " " + command.Usage);
        if (head.size() < 26)
            head.resize(26, ' ');
        else
            head += "\n" + std::string(26, ' ');
        AOut << head << " " << command.Help << "\n";
    }
    AOut << "Exit status: 0 every call succeeded; 1 the component reported a failure; 2 a usage error,\n"
            "unreadable input or a component that cannot be loaded.\n";
}

// The tool's version and the component's, from its driver description.
int PrintVersion(std::ostream& AOut, std::ostream& AErr, const std::string& AComponent,
                 const std::string& AClass) {
    AOut << "quorvane-host " << QUORVANE_VERSION_TEXT << "\n";
    try {
        THostSession session(AComponent, Utf8ToWide(AClass), AOut, AErr);
        if (session.ClassName.empty()) {
            const std::u16string names = session.Library.ClassNames();
            session.ClassName = names.substr(0, names.find(u'|'));
        }
        session.Object = std::make_unique<THostObject>(session.Library, session.ClassName, session.Memory,
                                                       session.Connection, ProcessLocaleName());
        THostValues params(session.Memory);
        params.Add(EmptyValue());
        THostValues result(session.Memory);
        pugi::xml_document description;
        if (!session.CallSucceeded(u"GetDescription", params, result)) {
            AErr << "GetDescription failed: " << session.FailureReason(0) << "\n";
            return 1;
        }
        description.load_string(TextOf(params[0]).c_str());
        AOut << "component " << AComponent << " "
             << description.document_element().attribute("DriverVersion").value() << "\n";
    } catch (const std::exception& e) {
        AErr << "quorvane-host: " << e.what() << "\n";
        return 2;
    }
    return 0;
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

bool THostSession::CallSucceeded(std::u16string_view AMethod, THostValues& AParams, THostValues& AResult) {
    return Object->Call(AMethod, AParams, AResult) && !(AResult.Count() > 0 && IsFalse(AResult[0]));
}

std::string THostSession::FailureReason(std::size_t AFirst) {
    std::string reason;
    try {
        THostValues error(Memory);
        error.Add(EmptyValue());
        THostValues code(Memory);
        if (Object->Call(u"GetLastError", error, code)) reason = TextOf(error[0]);
    } catch (const std::runtime_error&) {
        // A component without GetLastError: the host errors are all there is.
    }
    for (std::size_t i = AFirst; reason.empty() && i < Connection.Errors.size(); ++i) {
        reason = WideToUtf8(Connection.Errors[i].Description);
    }
    return reason.empty() ? "the component gave no reason" : reason;
}

std::string THostSession::ReadInput(const std::string& APath) const {
    std::ostringstream text;
    if (APath == "-") {
        if (In == nullptr || !(text << In->rdbuf()))
            throw std::invalid_argument("cannot read standard input");
        return text.str();
    }
    std::ifstream in(APath, std::ios::binary);
    if (!in || !(text << in.rdbuf())) throw std::invalid_argument("cannot read " + APath);
    return text.str();
}

std::string THostSession::PropText(std::u16string_view AName) {
    THostValues value(Memory);
    try {
        if (Object->GetProp(AName, value) && value.Count() > 0) return FormatTypedValue(value[0]);
    } catch (const std::runtime_error&) {
    }
    return {};
}

std::vector<std::string> THostSession::PropertyNames() {
    std::vector<std::string> names;
    const long count = Object->Extender().GetNProps();
    for (long i = 0; i < count; ++i)
        for (long alias : {0L, 1L}) names.push_back(WideToUtf8(Object->PropName(i, alias)));
    return names;
}

std::string TextOf(const V8Variant& AValue) {
    if ((AValue.vt & VTYPE_MASK) != VTYPE_PWSTR || AValue.VarEnum.vtRecWideString.pwstrVal == nullptr)
        return {};
    return WideToUtf8(
        std::u16string_view(FromHostText(AValue.VarEnum.vtRecWideString.pwstrVal), AValue.VarEnum.vtRecWideString.wstrLen));
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
    ATable.Add({"call", "METHOD [ARG]...",
                "call by English or localized name; prints the result and every parameter", 1, -1, RunCall});
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


int RunHost(const std::vector<std::string>& AArgs, std::ostream& AOut, std::ostream& AErr,
            const THostCommandTable& ACommands, bool AOutIsTerminal, std::istream* AIn) {
    std::string component = DefaultComponentPath();
    std::string className;
    bool version = false;
    std::vector<std::pair<std::string, std::string>> settings;
    std::size_t i = 0;
    auto needValue = [&](const std::string& AOption) {
        if (i + 1 >= AArgs.size()) throw std::invalid_argument(AOption + " needs a value");
        return AArgs[++i];
    };
    auto addSetting = [&](const std::string& ASetting) {
        const auto equals = ASetting.find('=');
        if (equals == std::string::npos || equals == 0) throw std::invalid_argument("--set needs NAME=VALUE");
        settings.emplace_back(ASetting.substr(0, equals), ASetting.substr(equals + 1));
    };
    // Commands are the words after the options, split at "--"; a --set among them is taken out.
    std::vector<std::vector<std::string>> commands;
    bool usesDefaults = false;
    try {
        for (; i < AArgs.size(); ++i) {
            const std::string& arg = AArgs[i];
            if (arg == "--component") {
                component = needValue(arg);
            } else if (arg == "--class") {
                className = needValue(arg);
            } else if (arg == "--set") {
                addSetting(needValue(arg));
            } else if (arg == "--help" || arg == "-h") {
                PrintUsage(AOut, ACommands);
                return 0;
            } else if (arg == "--version") {
                version = true;
            } else {
                break;
            }
        }
        if (version) return PrintVersion(AOut, AErr, component, className);
        for (commands.emplace_back(); i < AArgs.size(); ++i) {
            if (AArgs[i] == "--") {
                commands.emplace_back();
            } else if (AArgs[i] == "--set" && !commands.back().empty()) {
                addSetting(needValue("--set"));
            } else {
                commands.back().push_back(AArgs[i]);
            }
        }
        for (const auto& command : commands) {
            if (command.empty()) throw std::invalid_argument("a command is missing");
            const THostCommand* known = ACommands.Find(command[0]);
            if (known == nullptr) throw std::invalid_argument("unknown command " + command[0]);
            if (std::find(command.begin() + 1, command.end(), "--help") != command.end()) {
                PrintCommandUsage(AOut, *known);
                return 0;
            }
            int args = static_cast<int>(command.size()) - 1;
            if (args < known->MinArgs || (known->MaxArgs >= 0 && args > known->MaxArgs)) {
                throw std::invalid_argument("usage: " + known->Name + " " + known->Usage);
            }
            usesDefaults = usesDefaults || known->UsesDefaults;
        }
    } catch (const std::exception& e) {
        AErr << "quorvane-host: " << e.what() << "\n";
        PrintUsage(AErr, ACommands);
        return 2;
    }

    std::unique_ptr<THostSession> session;
    try {
        session = std::make_unique<THostSession>(component, Utf8ToWide(className), AOut, AErr);
        session->In = AIn != nullptr ? AIn : &std::cin;
        session->OutIsTerminal = AOutIsTerminal;
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
        // The settings apply to every command; a refused one stops the run before any command.
        if ((!settings.empty() || usesDefaults) && !ApplySettings(*session, settings, usesDefaults)) return 1;
        for (const auto& command : commands) {
            const THostCommand* known = ACommands.Find(command[0]);
            std::vector<std::string> args(command.begin() + 1, command.end());
            if (!known->Run(*session, args)) allOk = false;
        }
    } catch (const std::exception& e) {
        AErr << "quorvane-host: " << e.what() << "\n";
        return 2;
    }
    return allOk ? 0 : 1;
}

}  // namespace quorvane::host
