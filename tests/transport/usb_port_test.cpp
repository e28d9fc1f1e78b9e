// The USB printer port over a device that behaves as this system's printer class driver; the
// same source runs on Linux (usblp) and, under Wine, on Windows (usbprint).

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>

#include "errors/messages.h"
#include "errors/system_errors.h"
#include "tests/transport/test_usb_device.h"
#include "transport/printer_port.h"

namespace quorvane {
namespace {

using test::Pattern;

// The system's printer class device, in simulated time: what a write reports against what the
// printer really got, and what closing the port leaves behind.
TEST(PrinterPortUsb, WriteEndsWhenTheDeviceHasTakenEveryByteOrWithinItsBounds) {
    using test::TTestUsbDevice;
    // A write request carries at most this much; usblp's transfer is as large.
    constexpr size_t kPiece = TPrinterPort::kWritePieceSize;
    struct Case {
        const char* name;
        size_t size;
        std::function<int(size_t, size_t)> transferMs;
        std::deque<int> portStatuses;
        int code;
        std::string text;
        long elapsedMs;   // until the write returned; -1: not checked
        size_t received;  // by the printer, once the port is closed
        size_t lost;      // cancelled in flight
        bool openAfter;
    };
    const Case cases[] = {
        {"small job, one transfer", 100, [](size_t, size_t) { return 5; }, {0x18}, 0, "", 5, 100, 0, true},
        {"pieces, the last one included",
         3 * kPiece + 100,
         [](size_t, size_t) { return 5; },
         {0x18},
         0,
         "",
         20,
         3 * kPiece + 100,
         0,
         true},
        {"printer stops taking data",
         3 * kPiece + 100,
         [](size_t AIndex, size_t) { return AIndex < 2 ? 5 : TTestUsbDevice::kNever; },
         {0x18},
         1007,
         "",
         1010,
         2 * kPiece,
         kPiece,
         true},
        // Slower than the window, but still taking: closing the port waits for it.
        {"last transfer late",
         2 * kPiece,
         [](size_t AIndex, size_t) { return AIndex < 1 ? 5 : 1500; },
         {0x18},
         1007,
         "",
         1005,
         2 * kPiece,
         0,
         true},
        // Each transfer within the window, but the job would outlast the minute: cancelled.
        {"printer trickles",
         100 * kPiece,
         [](size_t, size_t) { return 900; },
         {0x18},
         1001,
         SystemErrorText(ETIME),
         60000,
         66 * kPiece,
         kPiece,
         false},
        {"paper out",
         3 * kPiece,
         [](size_t, size_t) { return 5; },
         {0x18, 0x38},
         1001,
         MessageText(TMessage::NoPaper),
         -1,
         2 * kPiece,
         0,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto device = std::make_shared<TTestUsbDevice>();
        device->TransferMs = c.transferMs;
        device->PortStatuses = c.portStatuses;
        TPrinterPort port(device);
        port.SetPortName(test::kTestUsbPath);
        ASSERT_EQ(port.OpenPort(true), 0);
        const std::string job = Pattern(c.size);
        EXPECT_EQ(port.SendToPort(job, true), c.code);
        EXPECT_EQ(port.LastErrorDescription(), c.text);
        if (c.elapsedMs >= 0) {
            EXPECT_EQ(device->Elapsed().count(), c.elapsedMs);
        }
        if (c.size <= kPiece) {
            EXPECT_EQ(device->StatusRequests(), 0);
        }
        EXPECT_EQ(port.Opened(), c.openAfter);
        port.ClosePort();
        EXPECT_TRUE(device->Received() == job.substr(0, c.received)) << device->Received().size();
        EXPECT_EQ(device->Lost(), c.lost);
    }
}

}  // namespace
}  // namespace quorvane
