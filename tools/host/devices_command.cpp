#include "tools/host/devices_command.h"

#include <filesystem>
#include <ostream>
#include <stdexcept>

#include <pugixml.hpp>

#include "addin/wide_string.h"
#include "driver/printer_models.h"
#include "transport/comm.h"
#include "transport/usb_print_list.h"

namespace quorvane::host {

namespace {

// The choices the settings offer for one parameter: value and text of each Item.
std::vector<std::pair<std::string, std::string>> Choices(const pugi::xml_document& ASchema,
                                                         const char* AName) {
    std::vector<std::pair<std::string, std::string>> items;
    const std::string path = std::string("//Parameter[@Name='") + AName + "']/ChoiceList/Item";
    for (const pugi::xpath_node& node : ASchema.select_nodes(path.c_str()))
        items.emplace_back(node.node().attribute("Value").value(), node.node().text().get());
    return items;
}

// The USB label printers and serial ports the settings' choice lists offer.
bool RunDevices(THostSession& ASession, const std::vector<std::string>&) {
    THostValues params(ASession.Memory);
    params.Add(EmptyValue());
    THostValues result(ASession.Memory);
    const std::size_t firstError = ASession.Connection.Errors.size();
    pugi::xml_document schema;
    if (!ASession.CallSucceeded(u"GetParameters", params, result) ||
        !schema.load_string(TextOf(params[0]).c_str())) {
        ASession.Err << "GetParameters failed: " << ASession.FailureReason(firstError) << "\n";
        return false;
    }
    // The hardware identifier is not in the choice list; the same device list gives it.
    TUSBPrintList usb;
    usb.Refresh();
    ASession.Out << "USB label printers (USBPort, InterfaceType=0):\n";
    const auto printers = Choices(schema, "USBPort");
    for (const auto& [path, text] : printers) {
        std::string model = "?";
        std::string hardwareId = "?";
        for (int i = 0; i < usb.Count(); ++i) {
            const TUSBPrintInfoRec device = usb.Items(i);
            if (device.interfacename != path) continue;
            hardwareId = device.hardwareid;
            if (const TUSBPrinterModel* known = FindUSBPrinterModel(device.hardwareid))
                model = std::string(known->Name) + " (Model=" + std::to_string(known->Number) + ")";
        }
        ASession.Out << "  " << path << "  " << model << "  " << hardwareId << "\n";
    }
    if (printers.empty()) ASession.Out << "  none\n";
    ASession.Out << "Serial ports (COMPort, InterfaceType=1):\n";
    bool anyPort = false;
    for (const auto& [number, text] : Choices(schema, "COMPort")) {
        std::string device;
        try {
            device = TComm::PortPath(std::stoi(number));
        } catch (const std::exception&) {
            continue;
        }
        if (!std::filesystem::exists(device)) continue;
        ASession.Out << "  " << number << "  " << text << "  " << device << "\n";
        anyPort = true;
    }
    if (!anyPort) ASession.Out << "  none\n";
    return true;
}

}  // namespace

void AddDevicesCommand(THostCommandTable& ATable) {
    ATable.Add({"devices", "",
                "the USB label printers (device path, model, hardware id) and serial ports the "
                "settings offer",
                0, 0, RunDevices});
}

}  // namespace quorvane::host
