// The port manager on Windows: a status request and its reply over TCP (a loopback listener)
// and over the serial port (COM5, a Linux pseudo-terminal answering as a TSPL printer).

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "errors/equipment_errors.h"
#include "errors/messages.h"
#include "tests/windows/loopback_listener.h"
#include "transport/port_manager.h"

namespace quorvane {
namespace {

const std::string kStatusRequest = "\x1b!?";

TDeadline After(std::chrono::milliseconds ADelay) { return TClock::now() + ADelay; }

// The code and text of the EquException ACall raises; code 0 when it raised none.
template <typename TCall>
std::pair<int, std::string> Failure(TCall ACall) {
    try {
        ACall();
    } catch (const EquException& e) {
        return {e.Code, e.what()};
    }
    return {0, "(no failure)"};
}

TEST(PortManagerWindows, NetworkPrinterAnswersTheStatusRequestAndSilenceGivesNothing) {
    TListener printer;
    TPortManager manager("127.0.0.1", printer.Port());
    manager.OpenPort();
    printer.Accept();
    manager.WriteToPort(kStatusRequest);
    EXPECT_EQ(printer.Receive(3), kStatusRequest);

    printer.Send("\x04");  // paper out
    EXPECT_EQ(manager.ReadFromPortWithin(1, After(std::chrono::seconds(5))), "\x04");
    EXPECT_EQ(manager.ReadFromPortWithin(1, After(std::chrono::milliseconds(100))), "");

    // A printer that hung up is a failure, not silence.
    printer.ClosePeer();
    const auto [code, text] = Failure([&] { manager.ReadFromPortWithin(1, After(std::chrono::seconds(5))); });
    EXPECT_EQ(code, 1001) << text;
    manager.ClosePort();
}

TEST(PortManagerWindows, SerialPrinterAnswersTheStatusRequest) {
    TPortManager manager(5, 9600, 8, 0, 0);
    manager.OpenPort();
    manager.WriteToPort("SIZE 58 mm,40 mm\r\n");
    EXPECT_EQ(manager.ReadFromPort(18), "SIZE 58 mm,40 mm\r\n");  // the line echoes
    manager.WriteToPort(kStatusRequest);
    EXPECT_EQ(manager.ReadFromPortWithin(1, After(std::chrono::seconds(5))), std::string(1, '\0'));
    manager.ClosePort();
}

// A number no port has: 1011 with the place and why. (Wine does not refuse a second open of a
// COM port, so the port another program holds is not checked here.)
TEST(PortManagerWindows, SerialOpenFailureNamesThePortAndWhy) {
    const auto [code, text] = Failure([] { TPortManager(0, 9600, 8, 0, 0).OpenPort(); });
    EXPECT_EQ(code, 1011);
    EXPECT_EQ(text.rfind(std::string(MessageText(TMessage::ComPortOpenFailed)) + ": COM0 (" +
                             std::string(MessageText(TMessage::ComPortNumberUnknown)) + ")",
                         0),
              0u)
        << text;
}

}  // namespace
}  // namespace quorvane
