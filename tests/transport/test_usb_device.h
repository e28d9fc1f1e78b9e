#pragma once

// The USB printer the shared USB tests print to: one that behaves as this system's printer
// class driver, at a device path as this system names it.

#include <cstddef>
#include <string>

#ifdef _WIN32
#include "tests/windows/usbprint_device.h"
#else
#include "tests/transport/usblp_device.h"
#endif

namespace quorvane::test {

#ifdef _WIN32
using TTestUsbDevice = TUsbPrintDevice;
inline const std::string kTestUsbPath =
    "\\\\?\\usb#vid_1203&pid_0230#4c3a2b1d#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
#else
using TTestUsbDevice = TUsblpDevice;
inline const std::string kTestUsbPath = "/dev/usb/lp0";
#endif

// Bytes that show where a piece went missing or was repeated.
inline std::string Pattern(size_t ASize) {
    std::string data(ASize, '\0');
    for (size_t i = 0; i < ASize; ++i) data[i] = static_cast<char>((i * 31) ^ (i >> 9));
    return data;
}

}  // namespace quorvane::test
