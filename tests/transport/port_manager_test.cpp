#include "transport/port_manager.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "errors/equipment_errors.h"
#include "errors/messages.h"
#include "tests/common/files.h"
#include "test_peers.h"
#include "transport/channels.h"
#include "transport/serial_line_posix.h"
#include "usblp_device.h"

namespace quorvane {
namespace {

using namespace std::chrono_literals;
using test::IsMessage;
using test::LoopbackServer;
using test::PtyPair;

struct Failure {
    int Code = 0;
    TMessage Id = TMessage::NoError;
    std::string Text;
};

// The failure AAction raised (code 0 and no text when none). Every transport fails with
// EquException; anything else escapes and fails the test.
template <typename Action>
Failure FailureOf(Action AAction) {
    try {
        AAction();
    } catch (const EquException& e) {
        return {e.Code, e.Id(), e.what()};
    }
    return {};
}

// The transport under a manager's channel; a manager on another transport throws bad_cast.
template <typename Channel>
auto& PortOf(TPortManager& AManager) {
    return dynamic_cast<Channel&>(AManager.Channel()).Port();
}

class SerialPort : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("QUORVANE_COM5", Pty.Path().c_str(), 1); }
    void TearDown() override { ::unsetenv("QUORVANE_COM5"); }
    PtyPair Pty;
};

TEST(PortManagerUSB, WritesReadsAndReportsStandardTexts) {
    PtyPair pty;
    TPortManager manager(pty.Path());
    EXPECT_TRUE(dynamic_cast<TUsbChannel*>(&manager.Channel()));
    EXPECT_EQ(PortOf<TUsbChannel>(manager).InterfaceType(), TPrintInterfaceType::itUSBPrint);
    EXPECT_FALSE(PortOf<TUsbChannel>(manager).Opened());  // nothing opens before OpenPort
    manager.OpenPort();
    manager.OpenPort();
    manager.WriteToPort("");
    manager.WriteToPort("PRINT 1,1\r\n");
    EXPECT_EQ(test::ReadFor(pty.Master(), 11, 2s), "PRINT 1,1\r\n");
    test::WriteAll(pty.Master(), std::string("\0\x20", 2));
    EXPECT_EQ(manager.ReadFromPort(1), std::string(1, '\0'));
    EXPECT_EQ(manager.ReadFromPort(5), "\x20");
    manager.FlushBuffer();
    manager.ClosePort();
    manager.ClosePort();
}

// Every transport's open failure names the place and the system's reason after the documented
// text, with the way to get access when the device refuses the user.
TEST(PortManagerMessages, OpenFailuresSayWhereAndWhy) {
    auto denied = std::make_shared<test::TUsblpDevice>();
    denied->OpenError = EACCES;
    ::setenv("QUORVANE_COM6", "/dev/quorvane-no-such-tty", 1);
    const std::string closed = std::to_string(test::ClosedLoopbackPort());
    struct Case {
        std::function<std::unique_ptr<TPortManager>()> make;
        int code;
        TMessage id;
        std::initializer_list<std::string> parts;
    };
    const Case cases[] = {
        {[] { return std::make_unique<TPortManager>("/dev/usb/quorvane-no-such-lp"); },
         1011,
         TMessage::PortUnavailable,
         {"/dev/usb/quorvane-no-such-lp — устройство не найдено"}},
        {[&] { return std::make_unique<TPortManager>("/dev/usb/lp3", denied); },
         1011,
         TMessage::PortUnavailable,
         {"/dev/usb/lp3 — нет прав доступа; добавьте пользователя в группу lp", "packaging/70-quorvane.rules"}},
        {[] { return std::make_unique<TPortManager>(6, 9600, 8, 0, 0); },
         1011,
         TMessage::ComPortOpenFailed,
         {"COM6 (/dev/quorvane-no-such-tty) — устройство не найдено"}},
        {[] { return std::make_unique<TPortManager>(200, 9600, 8, 0, 0); },
         1011,
         TMessage::ComPortOpenFailed,
         {"COM200 (нет такого порта"}},
        {[&] { return std::make_unique<TPortManager>("127.0.0.1", std::stoi(closed)); },
         1001,
         TMessage::ConnectFailed,
         {"127.0.0.1:" + closed + " — подключение отклонено: на этом порту принтер не принимает подключения"}},
        {[] { return std::make_unique<TPortManager>("printer.local", 9100); },
         1001,
         TMessage::IpAddressSyntax,
         {"\"printer.local\" — это имя узла, а нужен адрес IPv4"}},
    };
    for (const Case& c : cases) {
        const auto manager = c.make();
        const Failure failure = FailureOf([&] { manager->OpenPort(); });
        EXPECT_EQ(failure.Code, c.code) << failure.Text;
        EXPECT_EQ(failure.Id, c.id) << failure.Text;
        EXPECT_TRUE(IsMessage(failure.Text, MessageText(c.id), c.parts));
        manager->ClosePort();
    }
    ::unsetenv("QUORVANE_COM6");
}

// A path that is no device is refused before a byte is written, whatever its name: a system
// file named as the port must come out of a whole job unchanged.
TEST(PortManagerMessages, APathThatIsNoDeviceIsRefusedAndNeverWritten) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "quorvane-not-a-device";
    std::filesystem::create_directories(folder);
    const std::filesystem::path file = folder / "passwd";
    const std::string content = "root:x:0:0:root:/root:/bin/bash\n";
    { std::ofstream(file, std::ios::binary) << content; }
    ::setenv("QUORVANE_COM7", file.c_str(), 1);
    const auto reason = MessageText(TMessage::ReasonNotAPrinterDevice);
    struct Case {
        std::unique_ptr<TPortManager> manager;
        TMessage id;
        std::string where;
    };
    Case cases[] = {
        {std::make_unique<TPortManager>(file.string()), TMessage::PortUnavailable, file.string()},
        {std::make_unique<TPortManager>(folder.string()), TMessage::PortUnavailable, folder.string()},
        {std::make_unique<TPortManager>(7, 9600, 8, 0, 0), TMessage::ComPortOpenFailed,
         "COM7 (" + file.string() + ")"},
    };
    for (Case& c : cases) {
        const Failure failure = FailureOf([&] {
            c.manager->OpenPort();
            c.manager->WriteToPort("\x1b!?");
        });
        c.manager->ClosePort();
        EXPECT_EQ(failure.Code, 1011) << failure.Text;
        EXPECT_EQ(failure.Id, c.id) << failure.Text;
        EXPECT_EQ(failure.Text, std::string(MessageText(c.id)) + ": " + c.where + " — " + reason);
    }
    EXPECT_EQ(test::ReadFile(file), content);
    ::unsetenv("QUORVANE_COM7");
    std::filesystem::remove_all(folder);
}

// A device that refuses the bytes (here the kernel's full device) is named with its reason.
TEST(PortManagerMessages, AWriteTheDeviceRefusesSaysWhy) {
    TPortManager manager(std::string("/dev/full"));
    manager.OpenPort();
    const Failure failure = FailureOf([&] { manager.WriteToPort("SIZE 30 mm,20 mm\r\n"); });
    manager.ClosePort();
    const std::string tail = std::string(": /dev/full — ") + MessageText(TMessage::SysNoSpace);
    EXPECT_TRUE(failure.Text.ends_with(tail)) << failure.Text;
}

TEST(PortManagerUSBSlow, ReadsOfASilentDevice) {
    PtyPair pty;
    TPortManager manager(pty.Path());
    manager.OpenPort();
    // Both counts below 1 take the read-everything form: empty, no failure.
    EXPECT_EQ(manager.ReadFromPort(0), "");
    test::WriteAll(pty.Master(), "ribbon on");
    EXPECT_EQ(manager.ReadFromPort(-1), "ribbon on");
    EXPECT_TRUE(IsMessage(FailureOf([&] { manager.ReadFromPort(1); }).Text,
                          MessageText(TMessage::NoDataInBuffer), {pty.Path()}));
    // The manager stays usable after a failure.
    manager.WriteToPort("A");
    EXPECT_EQ(test::ReadFor(pty.Master(), 1, 2s), "A");
    manager.ClosePort();
}

TEST(PortManagerUSBSlow, WriteFailureCarriesTheTableText) {
    PtyPair pty;
    TPortManager manager(pty.Path());
    PortOf<TUsbChannel>(manager).SetWriteWaitTimeOut(200);
    manager.OpenPort();
    EXPECT_TRUE(IsMessage(FailureOf([&] { manager.WriteToPort(std::string(4 * 1024 * 1024, 'x')); }).Text,
                          MessageText(TMessage::UnknownError),
                          {pty.Path() + " — " + SystemErrorText(ETIME)}));
    manager.ClosePort();
}

TEST_F(SerialPort, ConstructorMapsTheSettings) {
    TPortManager manager(5, 115200, 7, 2, 2);
    TComm& comm = PortOf<TSerialChannel>(manager);
    EXPECT_EQ(comm.PortNumber(), 5);
    EXPECT_EQ(comm.BaudRateAsInt(), 115200);
    EXPECT_EQ(comm.DataBits(), 7);
    EXPECT_EQ(comm.StopBits(), TStopBits::sbTwoStopBits);
    EXPECT_EQ(comm.Parity(), TParity::prEven);
    EXPECT_FALSE(comm.Opened());
    TPortManager odd(5, 4800, 8, 0, 1);
    EXPECT_EQ(PortOf<TSerialChannel>(odd).StopBits(), TStopBits::sbOneStopBit);
    EXPECT_EQ(PortOf<TSerialChannel>(odd).Parity(), TParity::prOdd);
    TPortManager unknownRate(5, 12345, 8, 0, 0);
    EXPECT_EQ(PortOf<TSerialChannel>(unknownRate).BaudRateAsInt(), 9600);
}

TEST_F(SerialPort, WriteDropsEarlierRepliesAndReadsFollow) {
    TPortManager manager(5, 9600, 8, 0, 0);
    // The write opens the port on demand through its purge.
    test::WriteAll(Pty.Master(), "noise");
    ASSERT_TRUE(test::WaitArrived(Pty.Slave(), 5));
    manager.FlushBuffer();
    EXPECT_TRUE(PortOf<TSerialChannel>(manager).Opened());
    test::WriteAll(Pty.Master(), "stale");
    ASSERT_TRUE(test::WaitArrived(Pty.Slave(), 5));
    manager.WriteToPort("\x1b!?");
    EXPECT_EQ(test::ReadFor(Pty.Master(), 3, 2s), "\x1b!?");
    EXPECT_EQ(manager.ReadFromPort(1), "");  // the stale bytes were discarded
    test::WriteAll(Pty.Master(), "\x04");
    EXPECT_EQ(manager.ReadFromPort(1), "\x04");
    EXPECT_TRUE(IsMessage(FailureOf([&] { manager.ReadFromPort(0); }).Text,
                          MessageText(TMessage::NoDataInBuffer), {"COM5 (" + Pty.Path() + ")"}));
    test::WriteAll(Pty.Master(), "off\r\n");
    ASSERT_TRUE(test::WaitArrived(Pty.Slave(), 5));
    EXPECT_EQ(manager.ReadFromPort(-1), "off\r\n");
    manager.ClosePort();
    EXPECT_FALSE(PortOf<TSerialChannel>(manager).Opened());
}

TEST(PortManagerSerial, OpenFailureIsWrapped) {
    ::setenv("QUORVANE_COM6", "/dev/quorvane-no-such-tty", 1);
    TPortManager manager(6, 9600, 8, 0, 0);
    EXPECT_TRUE(
        IsMessage(FailureOf([&] { manager.OpenPort(); }).Text, MessageText(TMessage::ComPortOpenFailed), {}));
    EXPECT_TRUE(IsMessage(FailureOf([&] { manager.WriteToPort("x"); }).Text, "нет такого файла или папки",
                          {"COM6 (/dev/quorvane-no-such-tty)"}));
    manager.ClosePort();
    ::unsetenv("QUORVANE_COM6");
}

TEST(PortManagerLAN, ConnectsPerOpenAndReadsFixedLengths) {
    LoopbackServer server([](int client, LoopbackServer&) {
        EXPECT_EQ(test::ReadFor(client, 3, 5s), "\x1b!?");
        test::WriteAll(client, std::string(100, 'Z'));
    });
    TPortManager manager("127.0.0.1", server.Port());
    EXPECT_FALSE(PortOf<TNetworkChannel>(manager).Connected());
    manager.OpenPort();
    manager.WriteToPort("\x1b!?");
    const std::string reply = manager.ReadFromPort(256);
    EXPECT_EQ(reply, std::string(100, 'Z') + std::string(156, '\0'));
    manager.FlushBuffer();
    manager.ClosePort();
    manager.ClosePort();
    EXPECT_FALSE(PortOf<TNetworkChannel>(manager).Connected());

    TPortManager badPort("127.0.0.1", 0);
    EXPECT_TRUE(
        IsMessage(FailureOf([&] { badPort.OpenPort(); }).Text, MessageText(TMessage::IpPortRange), {"0"}));
}

TEST(PortManagerLAN, ReadEverythingEndsWhenThePrinterCloses) {
    LoopbackServer server([](int client, LoopbackServer&) {
        test::ReadFor(client, 1, 5s);
        test::WriteAll(client, "on");
    });
    TPortManager manager("127.0.0.1", server.Port());
    manager.OpenPort();
    manager.WriteToPort("?");
    EXPECT_EQ(manager.ReadFromPort(0), "on");
    manager.ClosePort();
}

// The status wait: each answer ends the read the moment it arrives; silence until the deadline
// is no answer, and no failure, on every transport.
TEST(PortManagerReadWithin, AnswersEndTheWaitOnEveryTransport) {
    PtyPair usbPty, comPty;
    ::setenv("QUORVANE_COM4", comPty.Path().c_str(), 1);
    LoopbackServer server([](int client, LoopbackServer& s) {
        test::ReadFor(client, 3, 5s);
        std::this_thread::sleep_for(50ms);
        test::WriteAll(client, "\x20");
        s.StaySilent();
    });
    TPortManager usb(usbPty.Path());
    TPortManager com(4, 9600, 8, 0, 0);
    TPortManager lan("127.0.0.1", server.Port());
    for (TPortManager* m : {&usb, &com, &lan}) m->OpenPort();
    lan.WriteToPort("\x1b!?");
    std::thread devices([&] {
        std::this_thread::sleep_for(50ms);
        test::WriteAll(usbPty.Master(), "\x02");
        test::WriteAll(comPty.Master(), "\x08");
    });
    const auto start = TClock::now();
    EXPECT_EQ(usb.ReadFromPortWithin(1, DeadlineIn(10s)), "\x02");
    EXPECT_EQ(com.ReadFromPortWithin(1, DeadlineIn(10s)), "\x08");
    EXPECT_EQ(lan.ReadFromPortWithin(1, DeadlineIn(10s)), "\x20");
    devices.join();
    EXPECT_LT(TClock::now() - start, 5s);
    EXPECT_EQ(FailureOf([&] { usb.ReadFromPortWithin(0, DeadlineIn(10ms)); }).Code, 1004);
    for (TPortManager* m : {&usb, &com, &lan}) m->ClosePort();
    ::unsetenv("QUORVANE_COM4");
}

TEST(PortManagerReadWithinSlow, SilenceGivesNothingOnEveryTransport) {
    PtyPair usbPty, comPty;
    ::setenv("QUORVANE_COM8", comPty.Path().c_str(), 1);
    LoopbackServer server([](int, LoopbackServer& s) { s.StaySilent(); });
    TPortManager usb(usbPty.Path());
    TPortManager com(8, 9600, 8, 0, 0);
    TPortManager lan("127.0.0.1", server.Port());
    for (TPortManager* m : {&usb, &com, &lan}) m->OpenPort();
    for (TPortManager* m : {&usb, &com, &lan}) EXPECT_EQ(m->ReadFromPortWithin(1, DeadlineIn(200ms)), "");
    for (TPortManager* m : {&usb, &com, &lan}) m->ClosePort();
    ::unsetenv("QUORVANE_COM8");
}

}  // namespace
}  // namespace quorvane
