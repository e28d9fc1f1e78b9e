#include "tools/host/print_commands.h"

#include <chrono>
#include <cstdio>
#include <ostream>
#include <stdexcept>

#include <pugixml.hpp>

#include "addin/wide_string.h"
#include "text/same_text.h"
#include "transport/comm.h"

namespace quorvane::host {

namespace {

// Calls a driver method whose first parameter is the device identifier; prints the reason when
// it fails.
bool CallDevice(THostSession& ASession, const char16_t* AMethod, THostValues& AParams) {
    THostValues result(ASession.Memory);
    const std::size_t firstError = ASession.Connection.Errors.size();
    if (ASession.CallSucceeded(AMethod, AParams, result)) return true;
    ASession.Err << WideToUtf8(AMethod) << " failed: " << ASession.FailureReason(firstError) << "\n";
    return false;
}

bool CallDevice(THostSession& ASession, const char16_t* AMethod) {
    THostValues params(ASession.Memory);
    params.Add(EmptyValue());
    return CallDevice(ASession, AMethod, params);
}

// A property's value without its type tag.
std::string Setting(THostSession& ASession, std::u16string_view AName) {
    const std::string value = ASession.PropText(AName);
    return value.size() >= 2 && value[1] == ':' ? value.substr(2) : value;
}

// Where the driver sends, as the settings say: the address and port, the COM port with its
// device file, or the USB device path.
std::string DeviceAddress(THostSession& ASession) {
    const std::string type = Setting(ASession, u"InterfaceType");
    if (type == "2") return Setting(ASession, u"IPAddress") + ":" + Setting(ASession, u"IPPort");
    if (type == "1") {
        const std::string port = Setting(ASession, u"COMPort");
        try {
            return "COM" + port + " (" + TComm::PortPath(std::stoi(port)) + ")";
        } catch (const std::exception&) {
            return "COM" + port;
        }
    }
    return Setting(ASession, u"USBPort");
}

// The warnings the component gave since AFirst host errors, each after " — ": the summary of a
// call that went through may not hide what it could not check.
std::string Warnings(const THostSession& ASession, std::size_t AFirst) {
    std::string text;
    for (std::size_t i = AFirst; i < ASession.Connection.Errors.size(); ++i)
        if (ASession.Connection.Errors[i].Code == kAddInWarningCode)
            text += " — " + WideToUtf8(ASession.Connection.Errors[i].Description);
    return text;
}

std::size_t LabelCount(const std::string& ADocument) {
    pugi::xml_document document;
    document.load_string(ADocument.c_str());
    return document.select_nodes("/*/Labels/Label").size();
}

bool RunPrint(THostSession& ASession, const std::vector<std::string>& AArgs) {
    std::string file;
    std::string mode;
    for (std::size_t i = 0; i < AArgs.size(); ++i) {
        if (AArgs[i] == "--mode") {
            if (i + 1 >= AArgs.size()) throw std::invalid_argument("--mode needs a value");
            mode = AArgs[++i];
            // The driver takes any other word as "neither": a typo would silently rebuild the
            // template of every call.
            if (!SameTextIgnoreCase(mode, "first") && !SameTextIgnoreCase(mode, "last"))
                throw std::invalid_argument("--mode " + mode + ": MODE is first or last");
        } else if (file.empty()) {
            file = AArgs[i];
        } else {
            throw std::invalid_argument("unexpected argument " + AArgs[i]);
        }
    }
    if (file.empty()) throw std::invalid_argument("a label document is missing");
    const std::string document = ASession.ReadInput(file);
    if (!CallDevice(ASession, u"Open")) return false;
    THostValues params(ASession.Memory);
    params.Add(StringValue(ASession.Memory, ""));
    params.Add(StringValue(ASession.Memory, document));
    params.Add(StringValue(ASession.Memory, mode));
    const std::size_t firstError = ASession.Connection.Errors.size();
    const auto start = std::chrono::steady_clock::now();
    const bool printed = CallDevice(ASession, u"PrintLabels", params);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    const std::string address = DeviceAddress(ASession);
    const bool closed = CallDevice(ASession, u"Close");
    if (printed) {
        const std::size_t labels = LabelCount(document);
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f", took.count());
        ASession.Out << labels << (labels == 1 ? " label" : " labels") << " sent to " << address << " in "
                     << seconds << " s" << Warnings(ASession, firstError) << "\n";
    }
    return printed && closed;
}

bool RunTest(THostSession& ASession, const std::vector<std::string>&) {
    THostValues params(ASession.Memory);
    params.Add(EmptyValue());
    params.Add(EmptyValue());
    THostValues result(ASession.Memory);
    const std::size_t firstError = ASession.Connection.Errors.size();
    if (ASession.CallSucceeded(u"DeviceTest", params, result)) {
        ASession.Out << "DeviceTest passed: the demo label was sent to " << DeviceAddress(ASession)
                     << Warnings(ASession, firstError) << "\n";
        return true;
    }
    ASession.Err << "DeviceTest failed: " << ASession.FailureReason(firstError) << "\n";
    return false;
}

bool RunInit(THostSession& ASession, const std::vector<std::string>&) {
    if (!CallDevice(ASession, u"Open")) return false;
    // Open may take the model from the USB device list; only Orvel M and Orvel MX need a set-up.
    const std::string model = Setting(ASession, u"Model");
    const bool initialized = CallDevice(ASession, u"InitializePrinter");
    const bool closed = CallDevice(ASession, u"Close");
    if (initialized) {
        if (model == "3" || model == "4")
            ASession.Out << "Printer initialized: the ribbon set-up was sent to " << DeviceAddress(ASession)
                         << "\n";
        else
            ASession.Out << "Nothing was sent: model " << model << " needs no set-up\n";
    }
    return initialized && closed;
}

}  // namespace

void AddPrintCommands(THostCommandTable& ATable) {
    ATable.Add(
        {"print", "FILE.xml [--mode MODE]",
         "Open, PrintLabels with the document (- reads standard input), Close; MODE: first or last", 1,
         3, RunPrint, true});
    ATable.Add({"test", "", "DeviceTest: prints the demo label", 0, 0, RunTest, true});
    ATable.Add({"init", "", "Open, InitializePrinter (ribbon set-up of Orvel M and Orvel MX), Close", 0, 0,
                RunInit, true});
}

}  // namespace quorvane::host
