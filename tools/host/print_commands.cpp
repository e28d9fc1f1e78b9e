#include "tools/host/print_commands.h"

#include <fstream>
#include <map>
#include <ostream>
#include <sstream>
#include <stdexcept>

#include <pugixml.hpp>

#include "addin/wide_string.h"

namespace quorvane::host {

namespace {

bool ReturnedTrue(const THostValues& AResult) {
    return AResult.Records.size() > 0 && (AResult.Records[0].vt & VTYPE_MASK) == VTYPE_BOOL &&
           AResult.Records[0].VarEnum.bVal;
}

std::string TextOf(const V8Variant& AValue) {
    if ((AValue.vt & VTYPE_MASK) != VTYPE_PWSTR || AValue.VarEnum.vtRecWideString.pwstrVal == nullptr) return {};
    return WideToUtf8(std::u16string_view(AValue.VarEnum.vtRecWideString.pwstrVal, AValue.VarEnum.vtRecWideString.wstrLen));
}

std::string LastErrorText(THostSession& ASession) {
    THostValues error(ASession.Memory);
    error.Add(EmptyValue());
    THostValues code(ASession.Memory);
    ASession.Object->Call(u"GetLastError", error, code);
    return TextOf(error[0]);
}

// A value in the type the settings schema gives the setting: Number, Boolean or String.
V8Variant SchemaValue(THostMemoryManager& AMemory, const std::string& AType, const std::string& AValue) {
    if (AType == "Number")
        return ParseTypedValue(AMemory, (AValue.find_first_of(".,") == std::string::npos ? "i:" : "d:") + AValue);
    if (AType == "Boolean") return ParseTypedValue(AMemory, "b:" + AValue);
    return StringValue(AMemory, AValue);
}

// "i:12", "d:3.5", "b:true", "s:text": the value brings its own type.
bool IsTyped(const std::string& AValue) {
    return AValue.size() >= 2 && AValue[1] == ':' && std::string_view("idbs").find(AValue[0]) != std::string_view::npos;
}

// The settings as the platform hands them to a new device: every schema default, then the
// user's choices. A --set value takes the schema's type; a name the schema does not list
// takes the typed notation (b:true), which any value may use.
class TSettingsSession {
public:
    explicit TSettingsSession(THostSession& ASession) : FSession(ASession) {}

    bool ApplyDefaults() {
        THostValues params(FSession.Memory);
        params.Add(EmptyValue());
        THostValues result(FSession.Memory);
        if (!FSession.Object->Call(u"GetParameters", params, result) || !ReturnedTrue(result)) {
            FSession.Err << "GetParameters failed: " << LastErrorText(FSession) << "\n";
            return false;
        }
        pugi::xml_document schema;
        if (!schema.load_string(TextOf(params[0]).c_str())) {
            FSession.Err << "GetParameters returned no readable schema\n";
            return false;
        }
        bool ok = true;
        for (const pugi::xpath_node& node : schema.select_nodes("//Parameter")) {
            const pugi::xml_node parameter = node.node();
            const std::string name = parameter.attribute("Name").value();
            const std::string type = parameter.attribute("TypeValue").value();
            FTypes[name] = type;
            if (parameter.attribute("DefaultValue")) ok = Set(name, SchemaValue(FSession.Memory, type, parameter.attribute("DefaultValue").value())) && ok;
        }
        return ok;
    }

    bool Apply(const std::vector<std::pair<std::string, std::string>>& ASettings) {
        bool ok = true;
        for (const auto& [name, value] : ASettings) {
            const auto type = FTypes.find(name);
            ok = Set(name, type != FTypes.end() && !IsTyped(value) ? SchemaValue(FSession.Memory, type->second, value)
                                                                : ParseTypedValue(FSession.Memory, value)) && ok;
        }
        return ok;
    }

private:
    bool Set(const std::string& AName, const V8Variant& AValue) {
        THostValues params(FSession.Memory);
        params.Add(StringValue(FSession.Memory, AName));
        params.Add(AValue);
        THostValues result(FSession.Memory);
        if (FSession.Object->Call(u"SetParameter", params, result) && ReturnedTrue(result)) return true;
        FSession.Err << "SetParameter " << AName << " failed: " << LastErrorText(FSession) << "\n";
        return false;
    }

    THostSession& FSession;
    std::map<std::string, std::string> FTypes;
};

struct TDeviceArgs {
    std::string File;
    std::string Mode;
    std::vector<std::pair<std::string, std::string>> Settings;
};

TDeviceArgs ParseDeviceArgs(const std::vector<std::string>& AArgs, bool AWantsFile) {
    TDeviceArgs parsed;
    for (std::size_t i = 0; i < AArgs.size(); ++i) {
        const std::string& arg = AArgs[i];
        if (arg == "--set" || arg == "--mode") {
            if (i + 1 >= AArgs.size()) throw std::invalid_argument(arg + " needs a value");
            const std::string& value = AArgs[++i];
            if (arg == "--mode") {
                parsed.Mode = value;
                continue;
            }
            const auto equals = value.find('=');
            if (equals == std::string::npos || equals == 0) throw std::invalid_argument("--set needs NAME=VALUE");
            parsed.Settings.emplace_back(value.substr(0, equals), value.substr(equals + 1));
        } else if (AWantsFile && parsed.File.empty()) {
            parsed.File = arg;
        } else {
            throw std::invalid_argument("unexpected argument " + arg);
        }
    }
    if (AWantsFile && parsed.File.empty()) throw std::invalid_argument("a label document is missing");
    return parsed;
}

// Calls a driver method whose first parameter is the device identifier; prints the
// GetLastError text when it fails.
bool CallDevice(THostSession& ASession, const char16_t* AMethod, THostValues& AParams) {
    THostValues result(ASession.Memory);
    if (ASession.Object->Call(AMethod, AParams, result) && ReturnedTrue(result)) return true;
    ASession.Err << WideToUtf8(AMethod) << " failed: " << LastErrorText(ASession) << "\n";
    return false;
}

bool CallDevice(THostSession& ASession, const char16_t* AMethod) {
    THostValues params(ASession.Memory);
    params.Add(EmptyValue());
    return CallDevice(ASession, AMethod, params);
}

bool PrepareDevice(THostSession& ASession, const TDeviceArgs& AArgs) {
    TSettingsSession settings(ASession);
    return settings.ApplyDefaults() && settings.Apply(AArgs.Settings);
}

std::string ReadFile(const std::string& APath) {
    std::ifstream in(APath, std::ios::binary);
    if (!in) throw std::invalid_argument("cannot read " + APath);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool RunPrint(THostSession& ASession, const std::vector<std::string>& AArgs) {
    const TDeviceArgs args = ParseDeviceArgs(AArgs, true);
    const std::string document = ReadFile(args.File);
    if (!PrepareDevice(ASession, args) || !CallDevice(ASession, u"Open")) return false;
    THostValues params(ASession.Memory);
    params.Add(StringValue(ASession.Memory, ""));
    params.Add(StringValue(ASession.Memory, document));
    params.Add(StringValue(ASession.Memory, args.Mode));
    const bool printed = CallDevice(ASession, u"PrintLabels", params);
    const bool closed = CallDevice(ASession, u"Close");
    if (printed) ASession.Out << "Printed " << args.File << "\n";
    return printed && closed;
}

bool RunTest(THostSession& ASession, const std::vector<std::string>& AArgs) {
    const TDeviceArgs args = ParseDeviceArgs(AArgs, false);
    if (!PrepareDevice(ASession, args)) return false;
    THostValues params(ASession.Memory);
    params.Add(EmptyValue());
    params.Add(EmptyValue());
    THostValues result(ASession.Memory);
    const bool ok = ASession.Object->Call(u"DeviceTest", params, result) && ReturnedTrue(result);
    if (ok) {
        ASession.Out << "DeviceTest passed: the demo label was printed\n";
        return true;
    }
    ASession.Err << "DeviceTest failed: " << TextOf(params[0]) << "\n";
    return false;
}

bool RunInit(THostSession& ASession, const std::vector<std::string>& AArgs) {
    const TDeviceArgs args = ParseDeviceArgs(AArgs, false);
    if (!PrepareDevice(ASession, args) || !CallDevice(ASession, u"Open")) return false;
    const bool initialized = CallDevice(ASession, u"InitializePrinter");
    const bool closed = CallDevice(ASession, u"Close");
    if (initialized) ASession.Out << "Printer initialized\n";
    return initialized && closed;
}

}  // namespace

void AddPrintCommands(THostCommandTable& ATable) {
    ATable.Add({"print", "FILE.xml [--mode MODE] [--set NAME=VALUE]...",
                "Open, PrintLabels with the document, Close (settings: schema defaults, then --set)", 1, -1,
                RunPrint});
    ATable.Add({"test", "[--set NAME=VALUE]...", "DeviceTest: prints the demo label", 0, -1, RunTest});
    ATable.Add({"init", "[--set NAME=VALUE]...", "Open, InitializePrinter (ribbon set-up), Close", 0, -1, RunInit});
}

}  // namespace quorvane::host
