#pragma once

// A printer's side of a TCP connection on loopback, for the Windows tests (Winsock under Wine).

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "transport/printer_socket.h"

namespace quorvane {

// Winsock for the whole program, as the library's load starts it.
class TSockets : public ::testing::Environment {
public:
    void SetUp() override { StartSocketsLibrary(); }
    void TearDown() override { StopSocketsLibrary(); }
};
inline const auto* const kSockets = ::testing::AddGlobalTestEnvironment(new TSockets);

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
            ::listen(FSocket, 1) != 0 ||
            ::getsockname(FSocket, reinterpret_cast<sockaddr*>(&address), &size) != 0)
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

}  // namespace quorvane
