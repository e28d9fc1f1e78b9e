#pragma once

// A fake udev device tree (umockdev) with USB printers in it. The test program must run under
// umockdev-wrapper so that libudev reads the tree instead of the machine's.

#include <umockdev.h>

#include <memory>
#include <stdexcept>
#include <string>

namespace quorvane::test {

class UsbTestbed {
public:
    UsbTestbed() : FBed(umockdev_testbed_new()) {
        if (!umockdev_in_mock_environment()) throw std::runtime_error("run the test under umockdev-wrapper");
    }

    // A USB printer: the usb_device (bus/port path AName, e.g. "1-3"), its printer interface
    // and the usbmisc node lp<ANumber> below it. Returns the device node path.
    std::string AddPrinter(const std::string& AName, int ANumber, const char* AVendor, const char* AProduct,
                           const char* AProductText, bool AAuthorized = true) {
        Path usb(umockdev_testbed_add_device(
            FBed.get(), "usb", AName.c_str(), nullptr, "idVendor", AVendor, "idProduct", AProduct, "product",
            AProductText, "authorized", AAuthorized ? "1" : "0", nullptr, "DEVTYPE", "usb_device", nullptr));
        const std::string interfaceName = AName + ":1.0";
        Path iface(umockdev_testbed_add_device(FBed.get(), "usb", interfaceName.c_str(), usb.get(),
                                               "bInterfaceClass", "07", nullptr, "DEVTYPE", "usb_interface",
                                               nullptr));
        const std::string lp = "lp" + std::to_string(ANumber);
        const std::string devName = "usb/" + lp;
        Path node(umockdev_testbed_add_device(FBed.get(), "usbmisc", lp.c_str(), iface.get(), nullptr,
                                              "DEVNAME", devName.c_str(), nullptr));
        if (!node) throw std::runtime_error("umockdev could not add " + lp);
        return "/dev/" + devName;
    }

    // Another usbmisc node that is no printer.
    void AddOtherUsbMisc(const std::string& AName) {
        Path usb(umockdev_testbed_add_device(FBed.get(), "usb", "2-1", nullptr, "idVendor", "046d",
                                             "idProduct", "c077", nullptr, "DEVTYPE", "usb_device", nullptr));
        Path node(umockdev_testbed_add_device(FBed.get(), "usbmisc", AName.c_str(), usb.get(), nullptr,
                                              "DEVNAME", ("usb/" + AName).c_str(), nullptr));
    }

private:
    struct Unref {
        void operator()(UMockdevTestbed* p) const { g_object_unref(p); }
        void operator()(gchar* p) const { g_free(p); }
    };
    using Path = std::unique_ptr<gchar, Unref>;
    std::unique_ptr<UMockdevTestbed, Unref> FBed;
};

}  // namespace quorvane::test
