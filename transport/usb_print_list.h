#pragma once

#include <memory>
#include <string>
#include <vector>

namespace quorvane {

// One USB printer as the system knows it.
struct TUSBPrintInfoRec {
    std::string interfacename;  // device node to open, e.g. "/dev/usb/lp0"; stored in the USBPort setting
    std::string devicename;     // location of the device: its USB bus/port path, e.g. "1-1.2"
    std::string description;    // the product string the device reports
    bool isenabled = false;     // present and authorised by the system
    std::string hardwareid;     // "USB\VID_hhhh&PID_hhhh", upper-case hexadecimal
};

// The system libraries Refresh works through where they are bound at run time (Windows: SetupAPI
// and the configuration manager), held while a list that used them lives.
struct TUsbListSystem;

// Snapshot of the USB printers (the usbmisc "lp*" devices), taken by Refresh through libudev.
class TUSBPrintList {
public:
    TUSBPrintList() = default;
    ~TUSBPrintList() = default;
    TUSBPrintList(const TUSBPrintList&) = delete;
    TUSBPrintList& operator=(const TUSBPrintList&) = delete;

    void Clear();
    // Replaces the snapshot; false when the system's device database cannot be enumerated.
    bool Refresh();

    int Count() const { return static_cast<int>(FDevList.size()); }
    // A copy of record AIndex; an index outside 0..Count()-1 throws std::runtime_error.
    TUSBPrintInfoRec Items(int AIndex) const;
    // The stored record itself; same index rule.
    TUSBPrintInfoRec& Objects(int AIndex);

private:
    const std::unique_ptr<TUSBPrintInfoRec>& At(int AIndex) const;

    std::vector<std::unique_ptr<TUSBPrintInfoRec>> FDevList;
    std::shared_ptr<const TUsbListSystem> FSystem;
};

}  // namespace quorvane
