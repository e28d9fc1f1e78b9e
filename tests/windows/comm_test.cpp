// The serial port on Windows (the communications API) as COM5 under Wine, whose far end is a
// Linux pseudo-terminal that echoes (tests/windows/pty_com_port).

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "errors/messages.h"
#include "errors/system_errors.h"
#include "transport/comm.h"

namespace quorvane {
namespace {

constexpr int kPort = 5;

TEST(WindowsComm, PortsAreNamedAsTheSystemNamesThem) {
    EXPECT_EQ(TComm::PortPath(1), "\\\\.\\COM1");
    EXPECT_EQ(TComm::PortPath(5), "\\\\.\\COM5");
    EXPECT_EQ(TComm::PortPath(0), "");
}

// What is written comes back whole through the port's own read time-outs, and the speed
// reaches the line the printer sits on.
TEST(WindowsComm, WritesReadsAndSetsTheLineSpeed) {
    TComm comm;
    comm.SetPortNumber(kPort);
    comm.SetBaudRate(TBaudRate::br19200);
    ASSERT_TRUE(comm.Open()) << comm.ExtResultDescription();
    EXPECT_TRUE(comm.Opened());

    const std::string script = "SIZE 58 mm,40 mm\r\nPRINT 1,1\r\n";
    ASSERT_TRUE(comm.WriteStr(script, 0)) << comm.ExtResultDescription();
    std::string back;
    ASSERT_TRUE(comm.ReadString(static_cast<int>(script.size()), back)) << comm.ExtResultDescription();
    EXPECT_EQ(back, script);

    ASSERT_TRUE(comm.WriteStr("?speed\n", 0));
    std::string answer;
    EXPECT_EQ(comm.ReadStr(answer, '\n', 2000), 0) << comm.ExtResultDescription();
    EXPECT_EQ(answer.substr(answer.find("speed=")), "speed=19200\r\n");

    // A speed set on the open port is applied at once.
    comm.SetBaudRate(TBaudRate::br9600);
    ASSERT_TRUE(comm.WriteStr("?speed\n", 0));
    answer.clear();
    EXPECT_EQ(comm.ReadStr(answer, '\n', 2000), 0) << comm.ExtResultDescription();
    EXPECT_EQ(answer.substr(answer.find("speed=")), "speed=9600\r\n");
    EXPECT_TRUE(comm.Close());
    EXPECT_FALSE(comm.Opened());
}

// A silent printer: every kind of read ends within its bounds and says why.
TEST(WindowsComm, SilentPortReadsEndWithTheirTexts) {
    TComm comm;
    comm.SetPortNumber(kPort);
    TCommTimeouts timeouts;
    timeouts.ReadIntervalTimeout = 20;
    timeouts.ReadTotalTimeoutConstant = 200;
    ASSERT_TRUE(comm.SetTimeouts(timeouts)) << comm.ExtResultDescription();
    ASSERT_TRUE(comm.Purge(true));

    std::string data = "stale";
    EXPECT_TRUE(comm.ReadString(4, data));
    EXPECT_EQ(data, "");
    EXPECT_FALSE(comm.ReadString(data, 100));
    EXPECT_EQ(comm.ExtResultDescription(), MessageText(TMessage::NoDataInBuffer));
    uint8_t byte = 0;
    EXPECT_FALSE(comm.ReadByte(byte));
    EXPECT_EQ(comm.ExtResultDescription(), MessageText(TMessage::DeviceNotResponding));
}

TEST(WindowsComm, MissingPortAndWrongSettingsFailWithSystemTexts) {
    TComm missing;
    missing.SetPortNumber(200);
    EXPECT_FALSE(missing.Open());
    EXPECT_FALSE(missing.Opened());
    EXPECT_EQ(missing.LastSystemError(), ENOENT);
    EXPECT_EQ(missing.ExtResultDescription(), SystemErrorText(ENOENT));

    // Settings no line can have leave the port closed, so the next open starts afresh.
    TComm comm;
    comm.SetPortNumber(kPort);
    comm.SetDataBits(9);
    EXPECT_FALSE(comm.Open());
    EXPECT_FALSE(comm.Opened());
    EXPECT_EQ(comm.ExtResultDescription(), SystemErrorText(EINVAL));
    comm.SetDataBits(8);
    EXPECT_TRUE(comm.Open()) << comm.ExtResultDescription();
}

}  // namespace
}  // namespace quorvane
