// quorvane-host devices: the USB label printers and serial ports the settings offer, with USB
// printers made to appear by umockdev.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/transport/usb_testbed.h"
#include "tools/host/devices_command.h"
#include "tools/host/host_commands.h"

namespace quorvane::host {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST(HostDevices, ListsTheChoiceListsPrintersWithModelAndHardwareIdAndThePresentSerialPorts) {
    test::UsbTestbed bed;
    const std::string orvel = bed.AddPrinter("1-3", 0, "3a1e", "0202", "Orvel MX 203dpi");
    bed.AddPrinter("1-5", 2, "04b8", "0202", "Some other printer");  // not a label printer the driver knows
    const std::string port = std::string(std::getenv("QUORVANE_BUILD_DIR")) + "/host-devices-com7";
    std::ofstream(port) << "";
    ::setenv("QUORVANE_COM7", port.c_str(), 1);

    THostCommandTable commands = DefaultCommands();
    AddDevicesCommand(commands);
    std::ostringstream out, err;
    const int status =
        RunHost({"--component", std::string(std::getenv("QUORVANE_BUILD_DIR")) + "/libquorvane.so", "--set",
                 "LogEnabled=false", "devices"},
                out, err, commands);
    EXPECT_EQ(status, 0) << err.str();
    EXPECT_THAT(out.str(), HasSubstr("\n  " + orvel + "  Orvel MX (Model=4)  USB\\VID_3A1E&PID_0202\n"));
    EXPECT_THAT(out.str(), Not(HasSubstr("04B8")));
    EXPECT_THAT(out.str(), HasSubstr("\n  7  COM7  " + port + "\n"));
    std::remove(port.c_str());
}

}  // namespace
}  // namespace quorvane::host
