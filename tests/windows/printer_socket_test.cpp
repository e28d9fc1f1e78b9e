// The network printer socket on Windows (Winsock) against a real loopback listener, under Wine.

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <string>

#include "errors/equipment_errors.h"
#include "transport/printer_socket.h"

namespace quorvane {
namespace {

// Winsock for the whole program, as the library's load starts it.
class TSockets : public ::testing::Environment {
public:
    void SetUp() override { StartSocketsLibrary(); }
    void TearDown() override { StopSocketsLibrary(); }
};
const auto* const kSockets = ::testing::AddGlobalTestEnvironment(new TSockets);

// A listener on a free loopback port; the printer's side of the connection.
class TListener {
public:
    TListener() {
        FSocket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof address;
        if (::bind(FSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(FSocket, 1) != 0 || ::getsockname(FSocket, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            throw std::runtime_error("listener: " + std::to_string(WSAGetLastError()));
        FPort = ntohs(address.sin_port);
    }
    ~TListener() {
        if (FPeer != INVALID_SOCKET) ::closesocket(FPeer);
        ::closesocket(FSocket);
    }
    int Port() const { return FPort; }
    void Accept() { FPeer = ::accept(FSocket, nullptr, nullptr); }
    std::string Receive(int ACount) {
        std::string data(static_cast<std::size_t>(ACount), '\0');
        int got = 0;
        while (got < ACount) {
            const int n = ::recv(FPeer, data.data() + got, ACount - got, 0);
            if (n <= 0) break;
            got += n;
        }
        data.resize(static_cast<std::size_t>(got));
        return data;
    }
    void Send(const std::string& AData) { ::send(FPeer, AData.data(), static_cast<int>(AData.size()), 0); }
    void ClosePeer() {
        ::closesocket(FPeer);
        FPeer = INVALID_SOCKET;
    }

private:
    SOCKET FSocket = INVALID_SOCKET;
    SOCKET FPeer = INVALID_SOCKET;
    int FPort = 0;
};

// The text of the EquException ACall raises (code 1001), or a note that it raised none.
template <typename TCall>
std::string Failure(TCall ACall) {
    try {
        ACall();
    } catch (const EquException& e) {
        EXPECT_EQ(e.Code, 1001);
        return e.what();
    }
    return "(no failure)";
}

TEST(PrinterSocketWindows, CarriesBytesBothWaysAndPadsCountedReads) {
    TListener printer;
    TPrinterSocket socket(" \t127.0.0.1  ", printer.Port());
    socket.SetConnection();
    printer.Accept();
    ASSERT_TRUE(socket.Connected());
    const std::string script("SIZE 58 mm,40 mm\r\nBITMAP 0,0,1,1,0,\x00\xff\r\n", 39);
    socket.WriteStr(script);
    EXPECT_EQ(printer.Receive(static_cast<int>(script.size())), script);

    printer.Send("\x01");
    std::string reply;
    socket.ReadString(3, reply);
    EXPECT_EQ(reply, std::string("\x01\0\0", 3));

    // A printer that closed the connection gives zero bytes, not a failure.
    printer.ClosePeer();
    socket.ReadString(1, reply);
    EXPECT_EQ(reply, std::string(1, '\0'));
    socket.CloseConnection();
    EXPECT_FALSE(socket.Connected());
}

TEST(PrinterSocketWindows, RefusesBadAddressesPortsAndClosedPortsWithTheirTexts) {
    EXPECT_EQ(Failure([] { TPrinterSocket("printer.local", 9100).SetConnection(); }),
              "Синтаксическая ошибка в IP-адресе: \"printer.local\" — это имя узла, а нужен адрес IPv4 вида "
              "192.168.1.10");
    EXPECT_EQ(Failure([] { TPrinterSocket("127.0.0.1", 0).SetConnection(); }),
              "Номер порта должен лежать в диапазоне 1-65535: 0");
    EXPECT_EQ(Failure([] { TPrinterSocket("127.0.0.1", 65536).SetConnection(); }),
              "Номер порта должен лежать в диапазоне 1-65535: 65536");

    int closedPort = 0;
    {
        TListener gone;
        closedPort = gone.Port();
    }
    const std::string refused = Failure([&] { TPrinterSocket("127.0.0.1", closedPort).SetConnection(); });
    EXPECT_EQ(refused.rfind("Ошибка при установлении подключения: 127.0.0.1:" + std::to_string(closedPort) +
                                " — подключение отклонено",
                            0),
              0u)
        << refused;
}

TEST(PrinterSocketWindows, APrinterThatNeverAnswersFailsBothReads) {
    TListener printer;
    TPrinterSocket socket("127.0.0.1", printer.Port());
    socket.SetConnection();
    printer.Accept();
    const std::string silent = "Ошибка при получении ответа от сервера: 127.0.0.1:" + std::to_string(printer.Port()) +
                               " — нет ответа за 2000 мс";
    std::string reply;
    EXPECT_EQ(Failure([&] { socket.ReadString(1, reply); }), silent);
    socket.SetConnection();
    printer.Accept();
    EXPECT_EQ(Failure([&] { socket.ReadString(reply); }), silent);
}

}  // namespace
}  // namespace quorvane
