#include "transport/printer_port.h"

#include <gtest/gtest.h>

#include <deque>
#include <future>
#include <mutex>

#include "errors/messages.h"
#include "test_peers.h"
#include "test_usb_device.h"

namespace quorvane {
namespace {

using namespace std::chrono_literals;
using test::Pattern;
using test::PtyPair;

const char* const kNoDataText = MessageText(TMessage::NoDataInBuffer);

// A printer port whose device status is scripted: a pseudo-terminal has none of its own.
class ScriptedPort : public TPrinterPort {
public:
    // Each query takes the next status; the last one repeats.
    explicit ScriptedPort(std::deque<uint8_t> AStatuses) : FStatuses(std::move(AStatuses)) {}
    int Queries() const {
        std::lock_guard lock(FMutex);
        return FQueries;
    }

protected:
    bool QueryPrinterStatus(uint8_t& AStatus) override {
        std::lock_guard lock(FMutex);
        ++FQueries;
        AStatus = FStatuses.front();
        if (FStatuses.size() > 1) FStatuses.pop_front();
        return true;
    }

private:
    mutable std::mutex FMutex;
    std::deque<uint8_t> FStatuses;
    int FQueries = 0;
};

// A job far larger than a terminal's buffer, on a device that reads nothing: the first write
// is taken only in part.
constexpr size_t kStuckJobSize = 4 * 1024 * 1024;

TEST(PrinterPortStatus, PortStatusMapsOntoTheDeviceStatusBits) {
    // 0x20 paper out, 0x10 selected, 0x08 no error (active low).
    EXPECT_EQ(PrinterStatusFromPortStatus(0x18), 0);
    EXPECT_EQ(PrinterStatusFromPortStatus(0xD8), 0);  // bits the printer class leaves undefined
    EXPECT_EQ(PrinterStatusFromPortStatus(0x38), PrinterStatus::PaperEmpty);
    EXPECT_EQ(PrinterStatusFromPortStatus(0x30), PrinterStatus::PaperEmpty);
    EXPECT_EQ(PrinterStatusFromPortStatus(0x20), PrinterStatus::PaperEmpty);
    EXPECT_EQ(PrinterStatusFromPortStatus(0x08), PrinterStatus::OffLine);
    EXPECT_EQ(PrinterStatusFromPortStatus(0x10), PrinterStatus::OffLine);
    EXPECT_EQ(PrinterStatusFromPortStatus(0x00), PrinterStatus::OffLine);
}

TEST(PrinterPort, OpensAPathWritesAndCloses) {
    PtyPair pty(false);  // cooked, as a terminal starts: the port makes it pass bytes unchanged
    ScriptedPort port({0});
    port.SetPortName(pty.Path());
    EXPECT_EQ(port.OpenPort(true), 0);
    EXPECT_EQ(port.OpenPort(true), 0);  // already open
    const std::string job = "SIZE 40 mm,30 mm\nCLS\r\n" + std::string("\0\x03\x7f\xff\n", 5);
    EXPECT_EQ(port.SendToPort(job, true), 0);
    // One write took it all: no status request was needed.
    EXPECT_EQ(port.Queries(), 0);
    EXPECT_EQ(test::ReadFor(pty.Master(), job.size(), 2s), job);
    EXPECT_EQ(port.SendToPort("", true), 0);
    port.ClosePort();
    port.ClosePort();
    EXPECT_FALSE(port.Opened());
}

TEST(PrinterPort, MissingDeviceIsCode1011) {
    TPrinterPort port;
    port.SetPortName("/dev/usb/quorvane-no-such-lp");
    EXPECT_EQ(port.OpenPort(true), 1011);
    EXPECT_EQ(port.LastErrorDescription(), "нет такого файла или папки");
    EXPECT_FALSE(port.Opened());
    std::string data;
    EXPECT_EQ(port.ReadFromPort(1, data, true), 1001);
    EXPECT_EQ(port.LastErrorDescription(), "файл не открыт");
    EXPECT_EQ(port.SendToPort("PRINT 1\r\n", true), 1001);
    EXPECT_EQ(port.LastErrorDescription(), "файл не открыт");
}

TEST(PrinterPort, LongJobReachesASlowDeviceWhole) {
    PtyPair pty;
    ScriptedPort port({0});
    port.SetPortName(pty.Path());
    ASSERT_EQ(port.OpenPort(true), 0);
    const std::string job = Pattern(1024 * 1024);
    auto reader = std::async(std::launch::async, [&] {
        std::string got;
        while (got.size() < job.size()) {
            std::string part = test::ReadFor(pty.Master(), 16384, 2s);
            if (part.empty()) break;
            got += part;
            std::this_thread::sleep_for(1ms);
        }
        return got;
    });
    EXPECT_EQ(port.SendToPort(job, true), 0);
    EXPECT_TRUE(reader.get() == job);
    EXPECT_GT(port.Queries(), 0);  // between the writes the status was watched
}

TEST(PrinterPort, ReadsWhatTheDeviceSends) {
    PtyPair pty;
    TPrinterPort port;
    port.SetPortName(pty.Path());
    ASSERT_EQ(port.OpenPort(true), 0);
    test::WriteAll(pty.Master(), "\x20");
    std::string data;
    EXPECT_EQ(port.ReadFromPort(1, data, true), 0);
    EXPECT_EQ(data, "\x20");
    test::WriteAll(pty.Master(), "abcdef");
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(port.ReadFromPort(4, data, true), 0);
    EXPECT_EQ(data, "abcd");  // at most the count; the rest waits for the next read
    EXPECT_EQ(port.ReadFromPort(256, data, true), 0);
    EXPECT_EQ(data, "ef");
}

TEST(PrinterPort, DeviceGoneFailsTheReadWithTheSystemText) {
    PtyPair pty;
    TPrinterPort port;
    port.SetPortName(pty.Path());
    ASSERT_EQ(port.OpenPort(true), 0);
    pty.CloseMaster();
    std::string data;
    EXPECT_EQ(port.ReadFromPort(1, data, true), 1001);
    EXPECT_EQ(port.LastErrorDescription(), "ошибка ввода-вывода");
    EXPECT_EQ(port.ReadFromPort(data, true), 1001);
    EXPECT_EQ(port.LastErrorDescription(), "ошибка ввода-вывода");
}

TEST(PrinterPortSlow, SilentDeviceFailsTheCountedReadAndEmptiesReadEverything) {
    PtyPair pty;
    TPrinterPort port;
    port.SetPortName(pty.Path());
    ASSERT_EQ(port.OpenPort(true), 0);
    std::string data = "old";
    EXPECT_EQ(port.ReadFromPort(1, data, true), 1001);
    EXPECT_EQ(port.LastErrorDescription(), kNoDataText);
    EXPECT_EQ(data, "");
    data = "old";
    EXPECT_EQ(port.ReadFromPort(data, true), 0);
    EXPECT_EQ(data, "");
}

TEST(PrinterPortSlow, ReadEverythingGathersPiecesUntilSilence) {
    PtyPair pty;
    TPrinterPort port;
    port.SetPortName(pty.Path());
    ASSERT_EQ(port.OpenPort(true), 0);
    const std::string reply = Pattern(5000);
    std::thread device([&] {
        test::WriteAll(pty.Master(), reply.substr(0, 3000));
        std::this_thread::sleep_for(100ms);
        test::WriteAll(pty.Master(), reply.substr(3000));
    });
    std::string data;
    EXPECT_EQ(port.ReadFromPort(data, true), 0);
    device.join();
    EXPECT_TRUE(data == reply);
}

TEST(PrinterPortSlow, PaperOutStopsTheJobUntilTheWindowCloses) {
    PtyPair pty;
    ScriptedPort port({PrinterStatus::PaperEmpty});
    port.SetPortName(pty.Path());
    ASSERT_EQ(port.OpenPort(true), 0);
    const std::string job = Pattern(kStuckJobSize);
    EXPECT_EQ(port.SendToPort(job, true), 1001);
    EXPECT_EQ(port.LastErrorDescription(), MessageText(TMessage::NoPaper));
    // Polled every 100 ms through the 1000 ms window: several queries, not one.
    EXPECT_GE(port.Queries(), 4);
    // Only the first write's part reached the device, intact.
    const std::string arrived = test::Drain(pty.Master());
    ASSERT_GT(arrived.size(), 0u);
    ASSERT_LT(arrived.size(), job.size());
    EXPECT_TRUE(arrived == job.substr(0, arrived.size()));
}

TEST(PrinterPortSlow, ReloadingPaperMovesTheWindowButDoesNotResume) {
    PtyPair pty;
    ScriptedPort port({PrinterStatus::PaperEmpty, PrinterStatus::PaperEmpty, PrinterStatus::PaperEmpty, 0});
    port.SetPortName(pty.Path());
    ASSERT_EQ(port.OpenPort(true), 0);
    const std::string job = Pattern(kStuckJobSize);
    auto result = std::async(std::launch::async, [&] { return port.SendToPort(job, true); });
    std::this_thread::sleep_for(100ms);
    const size_t first = test::Drain(pty.Master()).size();
    // Now the device would take more, but the job stays stopped.
    EXPECT_EQ(result.get(), 1001);
    EXPECT_EQ(port.LastErrorDescription(), "");  // the last pass saw paper again
    EXPECT_EQ(test::Drain(pty.Master()).size(), 0u);
    EXPECT_GT(first, 0u);
}

TEST(PrinterPortSlow, FaultBitsGiveTheirCodesInOrder) {
    struct Case {
        uint8_t status;
        int code;
        const char* text;
    };
    const Case cases[] = {
        {PrinterStatus::PowerOff | PrinterStatus::PaperEmpty, 1008, ""},
        {PrinterStatus::NotConnected | PrinterStatus::Busy, 1001, MessageText(TMessage::PrinterNotConnected)},
        {PrinterStatus::Busy | PrinterStatus::OffLine, 1009, ""},
        {PrinterStatus::OffLine | PrinterStatus::PaperEmpty, 1008, ""},
        {PrinterStatus::PaperEmpty | 0x01 | 0x02 | 0x80, 1001, MessageText(TMessage::NoPaper)},
    };
    // Independent devices: run side by side, each with a short window.
    std::vector<std::future<void>> runs;
    for (const Case& c : cases) {
        runs.push_back(std::async(std::launch::async, [c] {
            PtyPair pty;
            ScriptedPort port({c.status});
            port.SetPortName(pty.Path());
            port.SetWriteTimeOut(300);
            ASSERT_EQ(port.OpenPort(true), 0);
            EXPECT_EQ(port.SendToPort(Pattern(kStuckJobSize), true), c.code) << int(c.status);
            EXPECT_EQ(port.LastErrorDescription(), c.text) << int(c.status);
        }));
    }
    for (auto& run : runs) run.get();
}

TEST(PrinterPortSlow, DeviceThatTakesNothingEndsTheWriteAfterItsWait) {
    PtyPair pty;
    TPrinterPort port;  // the pseudo-terminal answers no status request
    port.SetPortName(pty.Path());
    port.SetWriteWaitTimeOut(300);  // 60 s in service
    ASSERT_EQ(port.OpenPort(true), 0);
    EXPECT_EQ(port.SendToPort(Pattern(kStuckJobSize), true), 1001);
    EXPECT_EQ(port.LastErrorDescription(), SystemErrorText(ETIME));
    EXPECT_FALSE(port.Opened());  // closing is how a write in flight is cancelled
}

}  // namespace
}  // namespace quorvane
