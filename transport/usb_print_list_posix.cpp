#include "transport/usb_print_list.h"

#include <libudev.h>

#include <cstdio>

namespace quorvane {

namespace {

struct UdevDeleter {
    void operator()(udev* p) const { udev_unref(p); }
    void operator()(udev_enumerate* p) const { udev_enumerate_unref(p); }
    void operator()(udev_device* p) const { udev_device_unref(p); }
};
using UdevPtr = std::unique_ptr<udev, UdevDeleter>;
using EnumeratePtr = std::unique_ptr<udev_enumerate, UdevDeleter>;
using DevicePtr = std::unique_ptr<udev_device, UdevDeleter>;

std::string Text(const char* s) { return s ? s : ""; }

std::string HardwareId(udev_device* usb) {
    const std::string vid = Text(udev_device_get_sysattr_value(usb, "idVendor"));
    const std::string pid = Text(udev_device_get_sysattr_value(usb, "idProduct"));
    unsigned v = 0, p = 0;
    if (std::sscanf(vid.c_str(), "%x", &v) != 1 || std::sscanf(pid.c_str(), "%x", &p) != 1) return {};
    char id[32];
    std::snprintf(id, sizeof id, "USB\\VID_%04X&PID_%04X", v & 0xFFFF, p & 0xFFFF);
    return id;
}

TUSBPrintInfoRec MakeRecord(udev_device* lp) {
    TUSBPrintInfoRec rec;
    rec.interfacename = Text(udev_device_get_devnode(lp));
    // The parent is borrowed: it lives as long as the child.
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(lp, "usb", "usb_device");
    if (usb) {
        rec.hardwareid = HardwareId(usb);
        rec.devicename = Text(udev_device_get_sysname(usb));
        rec.description = Text(udev_device_get_sysattr_value(usb, "product"));
        // A device the administrator de-authorised is the counterpart of a disabled one.
        rec.isenabled = Text(udev_device_get_sysattr_value(usb, "authorized")) != "0";
    }
    // Without a device node there is nothing to open.
    if (rec.interfacename.empty()) rec.isenabled = false;
    return rec;
}

}  // namespace

bool TUSBPrintList::Refresh() {
    Clear();
    UdevPtr ctx(udev_new());
    if (!ctx) return false;
    EnumeratePtr en(udev_enumerate_new(ctx.get()));
    if (!en) return false;
    if (udev_enumerate_add_match_subsystem(en.get(), "usbmisc") < 0 ||
        udev_enumerate_add_match_sysname(en.get(), "lp*") < 0 || udev_enumerate_scan_devices(en.get()) < 0)
        return false;
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(en.get())) {
        DevicePtr dev(udev_device_new_from_syspath(ctx.get(), udev_list_entry_get_name(entry)));
        if (!dev) continue;  // vanished between scan and look-up
        FDevList.push_back(std::make_unique<TUSBPrintInfoRec>(MakeRecord(dev.get())));
    }
    return true;
}

}  // namespace quorvane
