#pragma once

#include <cstdint>
#include <string>

#include "errors/messages.h"
#include "transport/deadline.h"
#include "transport/socket_owner.h"

namespace quorvane {

// TCP client for a network printer's raw port: dotted IPv4 only, one connection per
// SetConnection. Every failure is an EquException with code 1001.
class TPrinterSocket {
public:
    TPrinterSocket() = default;
    TPrinterSocket(std::string AIPAddress, int AIPPort)
        : FIPAddress(std::move(AIPAddress)), FIPPort(AIPPort) {}
    // Closes a connection that is still open, so no descriptor outlives the object.
    ~TPrinterSocket() { CloseConnection(); }
    TPrinterSocket(const TPrinterSocket&) = delete;
    TPrinterSocket& operator=(const TPrinterSocket&) = delete;

    static constexpr int ConnectTimeOutMs = 5000;
    static constexpr int ReceiveTimeOutMs = 2000;

    // Opens a new connection to FIPAddress:FIPPort; a connection left open is closed first.
    void SetConnection();
    // Sends all of APacket.
    void WriteStr(const std::string& APacket);
    // One receive of at most ALen bytes, padded with zero bytes to exactly ALen.
    void ReadString(int ALen, std::string& ABytes);
    // Everything received in pieces of 10 until the peer is silent for 2 s or closes;
    // nothing at all is a failure.
    void ReadString(std::string& ABytes);
    // One byte; 0 when the peer has closed.
    void ReadChar(char& AByte);
    // The printer's reply, at most ALen bytes: back the moment they arrive; nothing (and no
    // failure) when the printer is silent until ADeadline. A closed connection fails.
    void ReadStringWithin(int ALen, std::string& ABytes, TDeadline ADeadline);
    // Harmless when not connected.
    void CloseConnection();

    bool Connected() const { return FSocket.Valid(); }
    const std::string& IPAddress() const { return FIPAddress; }
    int IPPort() const { return FIPPort; }
    void SetIPAddress(std::string AValue) { FIPAddress = std::move(AValue); }
    void SetIPPort(int AValue) { FIPPort = AValue; }

private:
    // Raises the documented text followed by the printer's address and AWhy.
    [[noreturn]] void Fail(TMessage AId, const std::string& AWhy) const;
    // The trimmed address as a dotted IPv4 literal (network byte order) once it and the port
    // have passed their checks; raises with the reason otherwise. Shared by both systems.
    std::uint32_t CheckedAddress() const;
    // The system's inet_addr: the classic dotted forms, never a name look-up; false for what it
    // refuses, the all-ones broadcast address included (it answers that like an error).
    static bool ParseIpv4(const std::string& AText, std::uint32_t& AAddress);
    TSocketOwner FSocket;
    std::string FIPAddress;
    int FIPPort = 0;
};

// Start and stop the sockets interface (Winsock 1.1 on Windows; nothing to do on Linux). Each
// connection starts it before its socket is made and stops it after the socket is closed.
void StartSocketsLibrary();
void StopSocketsLibrary();

}  // namespace quorvane
