#include "driver/printer_models.h"

#include "text/ascii_text.h"

#include "errors/messages.h"

namespace quorvane {

const TUSBPrinterModel* FindUSBPrinterModel(std::string_view AHardwareId) {
    for (const TUSBPrinterModel& model : kUSBPrinterModels)
        // Hardware identifiers are ASCII, so an ASCII fold is enough here.
        if (ContainsIgnoringAsciiCase(AHardwareId, model.HardwareIdFragment)) return &model;
    return nullptr;
}

void AddUSBPrinterItems(pugi::xml_node AChoiceList, const std::vector<TUSBPrintInfoRec>& ADevices,
                        std::map<std::string, int>& ADictionary) {
    for (const TUSBPrintInfoRec& device : ADevices) {
        if (!device.isenabled) continue;
        const TUSBPrinterModel* model = FindUSBPrinterModel(device.hardwareid);
        if (model == nullptr) continue;
        const std::string text = device.devicename.empty() ? Message(TMessage::UsbPrinterChoice, model->Name)
                                                           : Message(TMessage::UsbPrinterChoiceOnDevice,
                                                                     model->Name, device.devicename);
        pugi::xml_node item = AChoiceList.append_child("Item");
        item.append_attribute("Value") = device.interfacename.c_str();
        item.text().set(text.c_str());
        ADictionary[device.interfacename] = model->Number;
    }
}

}  // namespace quorvane
