#pragma once

#include <array>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "transport/usb_print_list.h"

namespace quorvane {

// A printer model recognised from the USB device list. `Number` is the value of the Model
// setting; `HardwareIdFragment` is matched, ignoring case, inside the device's hardware
// identifier ("USB\VID_hhhh&PID_hhhh").
struct TUSBPrinterModel {
    int Number;
    std::string_view Name;
    std::string_view HardwareIdFragment;
};

// Checked in this order; the first match wins.
inline constexpr std::array<TUSBPrinterModel, 4> kUSBPrinterModels{{
    {1, "Kesto S", "VID_3A1E&PID_0101"},
    {2, "Kesto M", "VID_3A1E&PID_0102"},
    {3, "Orvel M", "VID_3A1E&PID_0201"},
    {4, "Orvel MX", "VID_3A1E&PID_0202"},
}};

// The model whose fragment AHardwareId contains (ignoring case), or null.
const TUSBPrinterModel* FindUSBPrinterModel(std::string_view AHardwareId);

// Appends one Item per enabled device of a known model to AChoiceList (value: the device path;
// text: "Принтер <model> на <device name>") and records path -> model number in ADictionary.
void AddUSBPrinterItems(pugi::xml_node AChoiceList, const std::vector<TUSBPrintInfoRec>& ADevices,
                        std::map<std::string, int>& ADictionary);

}  // namespace quorvane
