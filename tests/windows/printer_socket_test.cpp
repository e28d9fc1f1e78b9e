// The network printer socket on Windows (Winsock) against a real loopback listener, under Wine.

#include <gtest/gtest.h>

#include <string>

#include "errors/equipment_errors.h"
#include "tests/windows/loopback_listener.h"
#include "transport/printer_socket.h"

namespace quorvane {
namespace {

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
    const std::string silent =
        "Ошибка при получении ответа от сервера: 127.0.0.1:" + std::to_string(printer.Port()) +
        " — нет ответа за 2000 мс";
    std::string reply;
    EXPECT_EQ(Failure([&] { socket.ReadString(1, reply); }), silent);
    socket.SetConnection();
    printer.Accept();
    EXPECT_EQ(Failure([&] { socket.ReadString(reply); }), silent);
}

}  // namespace
}  // namespace quorvane
