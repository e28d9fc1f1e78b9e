#include "transport/comm.h"
#include "transport/serial_line_posix.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <atomic>
#include <cstdlib>
#include <future>

#include "errors/messages.h"
#include "test_peers.h"

namespace quorvane {
namespace {

using namespace std::chrono_literals;
using test::PtyPair;

// A TComm on port 7 whose path the environment points at the pty.
class CommOnPty : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("QUORVANE_COM7", Pty.Path().c_str(), 1);
        Comm.SetPortNumber(7);
    }
    void TearDown() override { ::unsetenv("QUORVANE_COM7"); }

    PtyPair Pty;
    TComm Comm;
};

TEST(CommPorts, NumbersMapToDevicesAndTheEnvironmentOverrides) {
    EXPECT_EQ(TComm::PortPath(1), "/dev/ttyS0");
    EXPECT_EQ(TComm::PortPath(12), "/dev/ttyS11");
    EXPECT_EQ(TComm::PortPath(64), "/dev/ttyS63");
    EXPECT_EQ(TComm::PortPath(65), "/dev/ttyUSB0");
    EXPECT_EQ(TComm::PortPath(96), "/dev/ttyUSB31");
    EXPECT_EQ(TComm::PortPath(97), "/dev/ttyACM0");
    EXPECT_EQ(TComm::PortPath(128), "/dev/ttyACM31");
    EXPECT_EQ(TComm::PortPath(0), "");
    EXPECT_EQ(TComm::PortPath(129), "");
    ::setenv("QUORVANE_COM3", "/dev/pts/77", 1);
    EXPECT_EQ(TComm::PortPath(3), "/dev/pts/77");
    ::unsetenv("QUORVANE_COM3");
}

TEST(CommPorts, BaudRateByNumber) {
    TComm comm;
    EXPECT_EQ(comm.BaudRateAsInt(), 9600);
    comm.SetBaudRateAsInt(14400);
    EXPECT_EQ(comm.BaudRate(), TBaudRate::br14400);
    comm.SetBaudRateAsInt(12345);  // not a rate of the list: unchanged
    EXPECT_EQ(comm.BaudRate(), TBaudRate::br14400);
    EXPECT_TRUE(comm.Close());  // closed port: nothing to do
}

TEST(CommPorts, MissingDeviceFailsWithTheSystemText) {
    ::setenv("QUORVANE_COM9", "/dev/quorvane-no-such-port", 1);
    TComm comm;
    comm.SetPortNumber(9);
    EXPECT_FALSE(comm.Open());
    EXPECT_EQ(comm.ExtResultDescription(), "нет такого файла или папки");
    EXPECT_FALSE(comm.Opened());
    // Opening on demand fails the same way.
    EXPECT_FALSE(comm.WriteStr("x", 0));
    ::unsetenv("QUORVANE_COM9");
}

TEST(CommPorts, ANonTerminalIsRefusedAndLeftClosed) {
    ::setenv("QUORVANE_COM9", "/dev/null", 1);
    TComm comm;
    comm.SetPortNumber(9);
    EXPECT_FALSE(comm.Open());
    EXPECT_FALSE(comm.ExtResultDescription().empty());
    EXPECT_FALSE(comm.Opened());
    ::unsetenv("QUORVANE_COM9");
}

TEST(CommPorts, LineSettingsComposeDataBitsParityAndStopBits) {
    TComm comm;
    comm.SetDataBits(7);
    comm.SetParity(TParity::prEven);
    comm.SetStopBits(TStopBits::sbTwoStopBits);
    termios tio{};
    ASSERT_TRUE(ComposeLineSettings(comm, tio));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
    EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), static_cast<tcflag_t>(PARENB));
    EXPECT_TRUE(tio.c_cflag & CSTOPB);
    EXPECT_TRUE(tio.c_iflag & INPCK);
    comm.SetParity(TParity::prOdd);
    comm.SetStopBits(TStopBits::sbOneStopBit);
    ASSERT_TRUE(ComposeLineSettings(comm, tio));
    EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), static_cast<tcflag_t>(PARENB | PARODD));
    EXPECT_FALSE(tio.c_cflag & CSTOPB);
    comm.SetParity(TParity::prNone);
    ASSERT_TRUE(ComposeLineSettings(comm, tio));
    EXPECT_FALSE(tio.c_cflag & PARENB);
    EXPECT_FALSE(tio.c_iflag & INPCK);
    comm.SetParity(static_cast<TParity>(7));
    EXPECT_FALSE(ComposeLineSettings(comm, tio));
}

TEST_F(CommOnPty, LineSettingsReachTheTerminal) {
    Comm.SetBaudRateAsInt(19200);
    Comm.SetDataBits(7);
    Comm.SetParity(TParity::prEven);
    Comm.SetStopBits(TStopBits::sbTwoStopBits);
    ASSERT_TRUE(Comm.Open()) << Comm.ExtResultDescription();
    // The kernel keeps a pseudo-terminal at 8 bits without parity; the rest reads back.
    termios tio{};
    ASSERT_EQ(::tcgetattr(Pty.Slave(), &tio), 0);
    EXPECT_TRUE(tio.c_cflag & CSTOPB);
    EXPECT_TRUE(tio.c_iflag & INPCK);
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B19200));
    // Binary: no echo, no line editing, no CR/LF translation.
    EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO));
    EXPECT_FALSE(tio.c_oflag & OPOST);
    EXPECT_FALSE(tio.c_iflag & (ICRNL | INLCR));
    Comm.Close();

    // One stop bit, no parity, and a rate without a B-constant.
    Comm.SetParity(TParity::prNone);
    Comm.SetStopBits(TStopBits::sbOneStopBit);
    Comm.SetBaudRateAsInt(56000);
    ASSERT_TRUE(Comm.Open()) << Comm.ExtResultDescription();
    ASSERT_EQ(::tcgetattr(Pty.Slave(), &tio), 0);
    EXPECT_FALSE(tio.c_cflag & CSTOPB);
    EXPECT_FALSE(tio.c_iflag & INPCK);
}

TEST_F(CommOnPty, OutOfRangeLineSettingsFailTheOpenAndCloseThePort) {
    Comm.SetDataBits(9);
    EXPECT_FALSE(Comm.Open());
    // The system reason in Russian, whatever the locale.
    EXPECT_EQ(Comm.ExtResultDescription(), "недопустимое значение параметра");
    // Nothing half-open is left behind to be reported as a success later.
    EXPECT_FALSE(Comm.Opened());
    EXPECT_FALSE(Comm.Open());
    Comm.SetDataBits(8);
    EXPECT_TRUE(Comm.Open());
}

TEST_F(CommOnPty, WriteStrSendsBytesUnchangedAndEmptyOpensNothing) {
    EXPECT_TRUE(Comm.WriteStr("", 0));
    EXPECT_FALSE(Comm.Opened());
    const char bytes[] = "TEXT 10,10,\"1\",0,1,1,\"A\"\r\n\n\0\xff";
    const std::string job(bytes, sizeof bytes - 1);
    EXPECT_TRUE(Comm.WriteStr(job, 0)) << Comm.ExtResultDescription();
    EXPECT_TRUE(Comm.Opened());  // opened on demand
    EXPECT_EQ(test::ReadFor(Pty.Master(), job.size(), 2s), job);
}

TEST_F(CommOnPty, PurgeAndCloseKeepBytesStillOnTheirWayToThePrinter) {
    // More than the terminal buffers hold, so the write returns with bytes still queued.
    std::string job(200000, '\0');
    for (std::size_t i = 0; i < job.size(); ++i) job[i] = static_cast<char>('A' + i % 26);
    std::string received;
    std::thread printer([&] { received = test::ReadFor(Pty.Master(), job.size() + 3, 10s); });
    ASSERT_TRUE(Comm.WriteStr(job, 0)) << Comm.ExtResultDescription();
    ASSERT_TRUE(Comm.Purge(true));
    ASSERT_TRUE(Comm.WriteStr("\x1b!?", 0));
    Comm.Close();
    printer.join();
    EXPECT_TRUE(received == job + "\x1b!?")
        << received.size() << " of " << job.size() + 3 << " bytes arrived";
}

// The write time-out grows with the job: a label larger than the terminal buffers goes out
// whole on a slow line, and a printer that stopped reading fails the write after its bound.
TEST_F(CommOnPty, AJobLargerThanTheTerminalBufferGoesOutWholeOnASlowLine) {
    const size_t buffered = test::FillTerminal(Pty.Slave());
    ASSERT_EQ(test::ReadFor(Pty.Master(), buffered, 5s).size(), buffered);
    constexpr size_t kBytesPerSecond = 11520;  // 115,200 baud; the write waits about 2 s for the line
    std::string job(buffered + kBytesPerSecond, '\0');
    for (std::size_t i = 0; i < job.size(); ++i) job[i] = static_cast<char>('a' + i % 26);
    std::atomic<bool> written = false;
    std::string received;
    std::thread printer(
        [&] { received = test::ReadThrottled(Pty.Master(), job.size(), kBytesPerSecond, written); });
    const bool ok = Comm.WriteStr(job, 0);
    written = true;
    printer.join();
    EXPECT_TRUE(ok) << Comm.ExtResultDescription();
    EXPECT_TRUE(received == job) << received.size() << " of " << job.size() << " bytes arrived";
}

TEST_F(CommOnPty, AStalledPrinterFailsTheWriteOnceTheBoundOfItsSizeHasPassed) {
    TCommTimeouts timeouts;
    timeouts.WriteTotalTimeoutMultiplier = 2;
    timeouts.WriteTotalTimeoutConstant = 200;
    ASSERT_TRUE(Comm.SetTimeouts(timeouts));
    test::FillTerminal(Pty.Slave());  // the printer's buffer is full and it reads nothing more
    const std::string job(500, 'S');
    const auto bound = 2ms * job.size() + 200ms;
    const auto start = std::chrono::steady_clock::now();
    auto write = std::async(std::launch::async, [&] { return Comm.WriteStr(job, 0); });
    // The margin only tells a hang from a failure; a hung write is released by reading.
    if (write.wait_for(bound + 20s) != std::future_status::ready) {
        ADD_FAILURE() << "the write did not end";
        test::ReadFor(Pty.Master(), SIZE_MAX, 5s);
    }
    EXPECT_FALSE(write.get());
    // A time-out never ends early, so the whole bound has passed before the failure.
    EXPECT_GE(std::chrono::steady_clock::now() - start, bound);
    EXPECT_EQ(Comm.ExtResultDescription(), MessageText(TMessage::PortWriteShort));
}

TEST_F(CommOnPty, PurgeDropsWhatThePrinterSentBefore) {
    ASSERT_TRUE(Comm.Open());
    test::WriteAll(Pty.Master(), "stale reply");
    ASSERT_TRUE(test::WaitArrived(Pty.Slave(), 11));
    ASSERT_TRUE(Comm.Purge(true));
    test::WriteAll(Pty.Master(), "fresh");
    std::string data;
    ASSERT_TRUE(Comm.ReadString(64, data));
    EXPECT_EQ(data, "fresh");
}

TEST_F(CommOnPty, CountedReadTakesWhatComesAndSilenceIsNoFailure) {
    ASSERT_TRUE(Comm.Open());
    std::string data = "old";
    EXPECT_TRUE(Comm.ReadString(1, data));
    EXPECT_EQ(data, "");
    // A reply in two parts 30 ms apart is one read: the gap is within the byte interval.
    std::thread device([&] {
        test::WriteAll(Pty.Master(), "ABC");
        std::this_thread::sleep_for(30ms);
        test::WriteAll(Pty.Master(), "DEF");
    });
    EXPECT_TRUE(Comm.ReadString(6, data));
    device.join();
    EXPECT_EQ(data, "ABCDEF");
}

TEST_F(CommOnPty, TimeoutsDecideWhenAReadEnds) {
    ASSERT_TRUE(Comm.Open());
    // Zero everywhere: no bound, the read waits for every byte asked for.
    ASSERT_TRUE(Comm.SetTimeouts(TCommTimeouts{0, 0, 0, 0, 0}));
    std::thread device([&] {
        for (const char* part : {"A", "B", "C"}) {
            std::this_thread::sleep_for(150ms);  // longer than the default byte interval
            test::WriteAll(Pty.Master(), part);
        }
    });
    std::string data;
    EXPECT_TRUE(Comm.ReadString(3, data));
    device.join();
    EXPECT_EQ(data, "ABC");
    // The default interval ends a read at the first long gap.
    ASSERT_TRUE(Comm.SetTimeouts(TCommTimeouts{}));
    test::WriteAll(Pty.Master(), "X");
    EXPECT_TRUE(Comm.ReadString(2, data));
    EXPECT_EQ(data, "X");
    // Interval "no wait" without totals: what has arrived, at once.
    test::WriteAll(Pty.Master(), "Y");
    ASSERT_TRUE(test::WaitArrived(Pty.Slave(), 1));
    ASSERT_TRUE(Comm.SetTimeouts(TCommTimeouts{TCommTimeouts::kNoWait, 0, 0, 0, 0}));
    EXPECT_TRUE(Comm.ReadString(8, data));
    EXPECT_EQ(data, "Y");
    EXPECT_TRUE(Comm.ReadString(8, data));
    EXPECT_EQ(data, "");
}

TEST_F(CommOnPty, QueuedReadTakesWhatWaitsAndFailsOnNothing) {
    std::string data;
    EXPECT_FALSE(Comm.ReadString(data, 0));  // closed: nothing queued
    EXPECT_EQ(Comm.ExtResultDescription(), MessageText(TMessage::NoDataInBuffer));
    ASSERT_TRUE(Comm.Open());
    EXPECT_FALSE(Comm.ReadString(data, 0));
    EXPECT_EQ(Comm.ExtResultDescription(), MessageText(TMessage::NoDataInBuffer));
    test::WriteAll(Pty.Master(), std::string("on\r\n\0", 5));
    ASSERT_TRUE(test::WaitArrived(Pty.Slave(), 5));
    EXPECT_TRUE(Comm.ReadString(data, 0));
    EXPECT_EQ(data, std::string("on\r\n\0", 5));
}

TEST_F(CommOnPty, ReadsFailOnAClosedPortWithoutOpeningIt) {
    std::string data;
    EXPECT_FALSE(Comm.ReadString(4, data));
    EXPECT_EQ(Comm.ExtResultDescription(), "файл не открыт");
    EXPECT_FALSE(Comm.Opened());
    std::vector<uint8_t> buffer(4);
    uint32_t read = 0;
    EXPECT_FALSE(Comm.ReadBytes(std::span<uint8_t>(buffer), read, 0, 0));
    EXPECT_EQ(Comm.ExtResultDescription(), MessageText(TMessage::PortNotOpen));
    EXPECT_FALSE(Comm.WriteBytes(std::span<const uint8_t>(buffer)));
    EXPECT_EQ(Comm.ExtResultDescription(), MessageText(TMessage::PortNotOpen));
}

TEST_F(CommOnPty, ByteAndCharacterReaders) {
    ASSERT_TRUE(Comm.Open());
    uint8_t byte = 0;
    EXPECT_FALSE(Comm.ReadByte(byte));
    EXPECT_EQ(Comm.ExtResultDescription(), MessageText(TMessage::DeviceNotResponding));
    EXPECT_FALSE(Comm.ReadByte(byte, 50));
    EXPECT_EQ(Comm.ExtResultDescription(), MessageText(TMessage::PortReadError));
    EXPECT_EQ(Comm.iReadByte(byte), 1017);

    // A stray continuation byte is skipped; "Ж", "€" and a character beyond the basic plane.
    test::WriteAll(Pty.Master(), "\x80\xD0\x96\xE2\x82\xAC\xF0\x9F\x98\x80Z");
    char16_t ch = 0;
    EXPECT_TRUE(Comm.ReadChar(ch, 500));
    EXPECT_EQ(ch, u'Ж');
    EXPECT_TRUE(Comm.ReadChar(ch, 500));
    EXPECT_EQ(ch, u'€');
    EXPECT_TRUE(Comm.ReadChar(ch, 500));
    EXPECT_EQ(ch, char16_t(0xD83D));  // first unit of U+1F600
    EXPECT_TRUE(Comm.ReadByte(byte, 500));
    EXPECT_EQ(byte, 'Z');

    test::WriteAll(Pty.Master(), "Привет\nrest");
    std::u16string line;
    EXPECT_TRUE(Comm.ReadString(line, 500));
    EXPECT_EQ(line, u"Привет\n");
    char c = 0;
    EXPECT_TRUE(Comm.ReadChar(c));
    EXPECT_EQ(c, 'r');
}

TEST_F(CommOnPty, ByteArraysAndCountedStrings) {
    ASSERT_TRUE(Comm.Open());
    std::vector<uint8_t> bytes;
    test::WriteAll(Pty.Master(), "ab");
    EXPECT_FALSE(Comm.ReadBytes(bytes, 4));
    EXPECT_EQ(Comm.ExtResultDescription(), MessageText(TMessage::ExchangeProtocolError));
    EXPECT_FALSE(Comm.ReadBytes(bytes, 4));
    EXPECT_EQ(Comm.ExtResultDescription(), MessageText(TMessage::DeviceNotResponding));
    EXPECT_TRUE(Comm.ReadBytes(bytes, 0));

    test::WriteAll(Pty.Master(), "1234");
    std::array<uint8_t, 8> buffer{};
    EXPECT_TRUE(Comm.ReadBytes(4, std::span<uint8_t>(buffer)));
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 4), "1234");

    test::WriteAll(Pty.Master(), "xyz");
    std::string data;
    EXPECT_EQ(Comm.ReadStr(5, data, true), 1001);
    EXPECT_EQ(data, "xyz");
    test::WriteAll(Pty.Master(), "OK\r");
    EXPECT_EQ(Comm.ReadStr(8, data, "\r"), 0);
    EXPECT_EQ(Comm.EndSymbol(), "\r");
    test::WriteAll(Pty.Master(), "OK");
    EXPECT_EQ(Comm.ReadStr(8, data, "\r"), 1014);

    test::WriteAll(Pty.Master(), "12;");
    EXPECT_EQ(Comm.ReadStr(data, ';', 1000), 0);
    EXPECT_EQ(data, "12;");
    EXPECT_EQ(Comm.ReadStr(data, 50), 1007);
}

TEST_F(CommOnPty, RunCmdStopsAtTheEndSymbolAndItsTrailingBytes) {
    std::thread device([&] {
        EXPECT_EQ(test::ReadFor(Pty.Master(), 4, 2s), "CMD\r");
        test::WriteAll(Pty.Master(), "ANS");
        std::this_thread::sleep_for(20ms);
        test::WriteAll(Pty.Master(), "WER\x03");
        std::this_thread::sleep_for(20ms);
        test::WriteAll(Pty.Master(), "CS");  // two check bytes after the end symbol
    });
    std::string answer;
    EXPECT_EQ(Comm.RunCmd("CMD\r", answer, "\x03", 64, 3000, 2), 0);
    device.join();
    EXPECT_EQ(answer,
              "ANSWER\x03"
              "CS");

    // An answer without the end symbol is a protocol error once the time is up.
    std::thread quiet([&] {
        test::ReadFor(Pty.Master(), 4, 2s);
        test::WriteAll(Pty.Master(), "partial");
    });
    EXPECT_EQ(Comm.RunCmd("CMD\r", answer, "\x03", 64, 300, 0), 1014);
    quiet.join();
    EXPECT_EQ(answer, "partial");
    EXPECT_EQ(Comm.SendCmd("X"), 0);
}

TEST_F(CommOnPty, OpenIsExclusiveAndCloseReleasesIt) {
    ASSERT_TRUE(Comm.Open());
    EXPECT_TRUE(Comm.Open());  // already open: no-op
    if (::geteuid() != 0) {
        // Root may always open a terminal; for anyone else a second port on it is refused.
        TComm second;
        second.SetPortNumber(7);
        EXPECT_FALSE(second.Open());
    }
    EXPECT_TRUE(Comm.Close());
    EXPECT_FALSE(Comm.Opened());
    TComm again;
    again.SetPortNumber(7);
    EXPECT_TRUE(again.Open()) << again.ExtResultDescription();
}

}  // namespace
}  // namespace quorvane
