// The print job over the USB channel, with a device that behaves as the system's printer class
// driver behind the channel's device calls (simulated time): usblp on Linux, usbprint on Windows
// (the same source, run under Wine).

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "driver/print_job.h"
#include "printer/tspl/printer_type_tspl.h"
#include "printer/tspl/status_query.h"
#include "tests/transport/test_usb_device.h"
#include "transport/printer_port.h"

namespace quorvane {
namespace {

using test::kTestUsbPath;
using TDevice = test::TTestUsbDevice;

// Three labels; the last one's bitmap spans several transfers of the device.
std::vector<TScriptObject> Labels() {
    const std::string head = "SIZE 40 mm,30 mm\r\nGAP 3 mm,0 mm\r\nCLS\r\n";
    std::string bitmap(20000, '\0');
    for (size_t i = 0; i < bitmap.size(); ++i) bitmap[i] = static_cast<char>(i * 7);
    return {{1, head + "BAR 8,8,40,40\r\nPRINT 1,1\r\n"},
            {2, head + "BAR 8,8,80,40\r\nPRINT 2,1\r\n"},
            {1, head + "BITMAP 0,0,40,500,0," + bitmap + "\r\nPRINT 1,1\r\n"}};
}

// What the printer gets for the first ACount labels: each one's status query, then its script.
std::string Stream(const std::vector<TScriptObject>& ALabels, size_t ACount) {
    std::string stream;
    for (size_t i = 0; i < ACount; ++i) stream += std::string(kStatusQuery) + ALabels[i].FValue;
    return stream;
}

// The job's failure text; empty when it succeeded.
std::string Print(const std::shared_ptr<TDevice>& ADevice, const std::vector<TScriptObject>& ALabels) {
    TPortManager port(kTestUsbPath, ADevice);
    try {
        SendLabelScripts(port, TPrinterTSPL(), ALabels, {});
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return {};
}

TEST(UsbPrintJob, EveryByteOfEveryLabelReachesThePrinterTheLastOneIncluded) {
    const auto labels = Labels();
    auto device = std::make_shared<TDevice>();
    EXPECT_EQ(Print(device, labels), "");
    EXPECT_TRUE(device->Received() == Stream(labels, 3)) << device->Received().size();
    EXPECT_EQ(device->Lost(), 0u);
    EXPECT_FALSE(device->IsOpen());
}

TEST(UsbPrintJob, FailureEndsTheJobWithItsTextAndNothingLeftInFlightCountsAsSent) {
    const auto labels = Labels();
    const std::string all = Stream(labels, 3);
    const size_t lastTransfer = labels[2].FValue.size() % TPrinterPort::kWritePieceSize;
    struct Case {
        const char* name;
        std::function<int(size_t, size_t)> transferMs;
        std::deque<char> replies;
        std::string text;
        std::string received;
        size_t lost;  // cancelled in flight when the port closed
    };
    const Case cases[] = {
        // The last transfer of the last label is never taken.
        {"printer stops taking data",
         [&](size_t, size_t AReceived) {
             return AReceived + lastTransfer < all.size() ? 5 : TDevice::kNever;
         },
         {0x00},
         "Устройство не отвечает: " + kTestUsbPath +
             " — принтер не принимает данные дольше 1000 мс. Отправлено на принтер этикеток: 2 из 3.",
         all.substr(0, all.size() - lastTransfer),
         lastTransfer},
        // Not even the first status query is taken.
        {"device takes nothing",
         [](size_t, size_t) { return TDevice::kNever; },
         {0x00},
         "Устройство не отвечает: " + kTestUsbPath + " — принтер не принимает данные дольше 1000 мс",
         "",
         kStatusQuery.size()},
        // The status query before each label is answered through the device.
        {"paper out before the second label",
         [](size_t, size_t) { return 5; },
         {0x00, 0x04},
         "Закончилась бумага в принтере. Отправлено на принтер этикеток: 1 из 3.",
         Stream(labels, 1) + std::string(kStatusQuery),
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto device = std::make_shared<TDevice>();
        device->TransferMs = c.transferMs;
        device->StatusReplies = c.replies;
        EXPECT_EQ(Print(device, labels), c.text);
        EXPECT_TRUE(device->Received() == c.received) << device->Received().size() << " of " << all.size();
        EXPECT_EQ(device->Lost(), c.lost);
        EXPECT_FALSE(device->IsOpen());
    }
}

}  // namespace
}  // namespace quorvane
