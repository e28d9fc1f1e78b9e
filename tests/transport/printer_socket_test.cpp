#include "transport/printer_socket.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "errors/equipment_errors.h"
#include "errors/messages.h"
#include "test_peers.h"

namespace quorvane {
namespace {

using namespace std::chrono_literals;
using test::IsMessage;
using test::LoopbackServer;

const char* const kReceiveText = MessageText(TMessage::ReceiveFailed);

int OpenDescriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

// Runs AAction and returns the EquException text it raised ("" when none).
template <typename Action>
std::string FailureOf(Action AAction) {
    try {
        AAction();
    } catch (const EquException& e) {
        EXPECT_EQ(e.Code, 1001);
        return e.what();
    }
    return {};
}

TEST(PrinterSocket, ExchangesBytesWithATrimmedAddress) {
    const std::string job("SIZE 40 mm,30 mm\r\n\0\x01\xff", 21);
    std::string received;
    LoopbackServer server([&](int client, LoopbackServer&) {
        received = test::ReadFor(client, job.size(), 5s);
        test::WriteAll(client, std::string(100, 'R'));
        test::ReadFor(client, 1, 5s);  // until the client closes
    });
    TPrinterSocket socket(" \t127.0.0.1  ", server.Port());
    socket.SetConnection();
    socket.WriteStr(job);
    std::string reply;
    socket.ReadString(256, reply);
    socket.CloseConnection();
    EXPECT_FALSE(socket.Connected());
    // The fixed-length answer: what came, then zero bytes.
    EXPECT_EQ(reply, std::string(100, 'R') + std::string(156, '\0'));
    EXPECT_EQ(received, job);
}

TEST(PrinterSocket, LargeJobArrivesWhole) {
    std::string job(3 * 1024 * 1024, '\0');
    for (size_t i = 0; i < job.size(); ++i) job[i] = static_cast<char>(i * 7 + i / 251);
    std::string received;
    {
        LoopbackServer server(
            [&](int client, LoopbackServer&) { received = LoopbackServer::ReceiveAll(client); });
        TPrinterSocket socket("127.0.0.1", server.Port());
        socket.SetConnection();
        socket.WriteStr(job);
        socket.CloseConnection();
    }  // the server has read everything once it is joined
    EXPECT_EQ(received.size(), job.size());
    EXPECT_TRUE(received == job);
}

TEST(PrinterSocket, RefusesBadAddressesAndPortsBeforeAnySocket) {
    const int before = OpenDescriptors();
    const char* const named = "\" — это имя узла, а нужен адрес IPv4 вида 192.168.1.10";
    const std::pair<const char*, std::string> addresses[] = {
        {"localhost", std::string("\"localhost") + named},
        {"printer.example", std::string("\"printer.example") + named},
        {"10.0.0.x", std::string("\"10.0.0.x") + named},
        {"255.255.255.255", "\"255.255.255.255\" — широковещательный адрес не подходит"},
        {" ", MessageText(TMessage::AddressNotGiven)},
        {"1.2.3.4.5", "\"1.2.3.4.5\" — нужен адрес IPv4 вида 192.168.1.10"},
        // inet_addr would read these parts as octal or hex and reach another printer (here a
        // loopback one, so that no run of this test ever reaches beyond the machine).
        {"127.000.000.010", "\"127.000.000.010\" — число с ведущим нулём читается как восьмеричное; "
                            "пишите 127.0.0.10"},
        {" 127.00.1.012 ", "\"127.00.1.012\" — число с ведущим нулём читается как восьмеричное; пишите 127.0.1.12"},
        {"0x7f.0.0.1", "\"0x7f.0.0.1\" — нужен адрес IPv4 вида 192.168.1.10"},
        // inet_addr stops at a blank and would take what comes before it.
        {"127.0.0.1\r\nSELFTEST", "\"127.0.0.1\r\nSELFTEST\" — это имя узла, а нужен адрес IPv4 вида 192.168.1.10"},
        {"127.0.0.1 9100", "\"127.0.0.1 9100\" — нужен адрес IPv4 вида 192.168.1.10"},
    };
    for (const auto& [address, context] : addresses) {
        TPrinterSocket socket(address, 9100);
        EXPECT_EQ(FailureOf([&] { socket.SetConnection(); }),
                  "Синтаксическая ошибка в IP-адресе: " + context);
    }
    for (int port : {0, -1, 65536}) {
        TPrinterSocket socket("127.0.0.1", port);
        EXPECT_EQ(FailureOf([&] { socket.SetConnection(); }),
                  "Номер порта должен лежать в диапазоне 1-65535: " + std::to_string(port));
        EXPECT_FALSE(socket.Connected());
    }
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST(PrinterSocket, RefusedPortFailsWithoutLeaking) {
    const int before = OpenDescriptors();
    TPrinterSocket refused("127.0.0.1", test::ClosedLoopbackPort());
    EXPECT_TRUE(IsMessage(FailureOf([&] { refused.SetConnection(); }), MessageText(TMessage::ConnectFailed),
                          {"127.0.0.1:" + std::to_string(refused.IPPort()) + " — подключение отклонено"}));
    EXPECT_FALSE(refused.Connected());
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST(PrinterSocketSlow, PeerThatNeverAnswersTheConnectFailsAfterTheBound) {
    // A listener whose accept queue is full drops further handshakes: a peer that never answers.
    TFileDescriptor listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(::listen(listener.Get(), 0), 0);
    ::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &size);
    std::vector<TFileDescriptor> fillers;
    for (int i = 0; i < 3; ++i) {
        fillers.emplace_back(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        ::connect(fillers.back().Get(), reinterpret_cast<sockaddr*>(&address), size);
    }
    std::this_thread::sleep_for(100ms);
    const int before = OpenDescriptors();
    TPrinterSocket socket("127.0.0.1", ntohs(address.sin_port));
    EXPECT_TRUE(IsMessage(FailureOf([&] { socket.SetConnection(); }), MessageText(TMessage::ConnectFailed),
                          {":" + std::to_string(socket.IPPort()) + " — нет ответа за 5000 мс"}));
    EXPECT_FALSE(socket.Connected());
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST(PrinterSocket, PeerThatClosedGivesZeroBytes) {
    LoopbackServer server([](int, LoopbackServer&) {});  // accepts and closes at once
    TPrinterSocket socket("127.0.0.1", server.Port());
    socket.SetConnection();
    std::string reply = "x";
    socket.ReadString(1, reply);
    EXPECT_EQ(reply, std::string(1, '\0'));
    char byte = 'x';
    socket.ReadChar(byte);
    EXPECT_EQ(byte, '\0');
    // Read until silence on a closed connection has nothing: a failure.
    EXPECT_TRUE(IsMessage(FailureOf([&] { socket.ReadString(reply); }), kReceiveText,
                          {MessageText(TMessage::PrinterClosedConnection)}));
    socket.CloseConnection();
}

TEST(PrinterSocket, SendingToAClosedPeerFailsWithoutKillingTheProcess) {
    LoopbackServer server([](int, LoopbackServer&) {});
    TPrinterSocket socket("127.0.0.1", server.Port());
    socket.SetConnection();
    std::this_thread::sleep_for(100ms);
    // The first send may still be taken by the system; the reset makes a later one fail.
    std::string text;
    for (int i = 0; i < 50 && text.empty(); ++i) {
        text = FailureOf([&] { socket.WriteStr(std::string(65536, 'A')); });
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(IsMessage(text, MessageText(TMessage::SendFailed),
                          {"127.0.0.1:", MessageText(TMessage::ReasonConnectionReset)}));
    socket.CloseConnection();
}

TEST(PrinterSocket, ReadUntilSilenceGathersPiecesUntilThePeerCloses) {
    const std::string answer = "on\r\nsw_ribbon value is 1, 25 bytes and more";
    LoopbackServer server([&](int client, LoopbackServer&) {
        test::WriteAll(client, answer.substr(0, 7));
        std::this_thread::sleep_for(50ms);
        test::WriteAll(client, answer.substr(7));
    });
    TPrinterSocket socket("127.0.0.1", server.Port());
    socket.SetConnection();
    std::string reply;
    socket.ReadString(reply);
    EXPECT_EQ(reply, answer);
    socket.CloseConnection();
}

// The slow cases: each waits out the 2 s receive time-out once.
TEST(PrinterSocketSlow, SilentPeerFailsTheCountedRead) {
    LoopbackServer server([](int, LoopbackServer& s) { s.StaySilent(); });
    TPrinterSocket socket("127.0.0.1", server.Port());
    socket.SetConnection();
    std::string reply;
    EXPECT_TRUE(
        IsMessage(FailureOf([&] { socket.ReadString(1, reply); }), kReceiveText, {"нет ответа за 2000 мс"}));
    socket.CloseConnection();
}

TEST(PrinterSocketSlow, SilentPeerFailsTheReadUntilSilence) {
    LoopbackServer server([](int, LoopbackServer& s) { s.StaySilent(); });
    TPrinterSocket socket("127.0.0.1", server.Port());
    socket.SetConnection();
    std::string reply;
    EXPECT_TRUE(
        IsMessage(FailureOf([&] { socket.ReadString(reply); }), kReceiveText, {"нет ответа за 2000 мс"}));
    socket.CloseConnection();
}

TEST(PrinterSocketSlow, ReadUntilSilenceKeepsWhatCameBeforeTheSilence) {
    LoopbackServer server([](int client, LoopbackServer& s) {
        test::WriteAll(client, "ABCDEFGHIJKLMNOPQRSTUVWXY");
        s.StaySilent();
    });
    TPrinterSocket socket("127.0.0.1", server.Port());
    socket.SetConnection();
    std::string reply;
    socket.ReadString(reply);
    EXPECT_EQ(reply, "ABCDEFGHIJKLMNOPQRSTUVWXY");
    socket.CloseConnection();
}

TEST(PrinterSocket, ReconnectingAndDestroyingReleaseTheConnection) {
    std::atomic<bool> sawClose{false};
    LoopbackServer server([&](int client, LoopbackServer&) {
        // The client's end of the first connection must close when the object goes away.
        sawClose = test::ReadFor(client, 1, 5s).empty();
    });
    const int before = OpenDescriptors();
    {
        TPrinterSocket socket("127.0.0.1", server.Port());
        socket.SetConnection();
    }
    for (int i = 0; i < 500 && !sawClose; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(sawClose);
    EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace
}  // namespace quorvane
