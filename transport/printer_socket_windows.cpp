#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdint>
#include <string>

#include "errors/equipment_errors.h"
#include "transport/printer_socket.h"

namespace quorvane {

namespace {

// Winsock counts its starts: each connection holds one from before its socket is made until
// after it is closed (CloseConnection). Not started while the library loads, as Windows forbids
// starting Winsock inside a library's load notification; so a failure to start reaches the
// caller that opens the connection, with its text.
class TSocketsStart {
public:
    TSocketsStart() { StartSocketsLibrary(); }
    ~TSocketsStart() {
        if (FHeld) WSACleanup();
    }
    TSocketsStart(const TSocketsStart&) = delete;
    TSocketsStart& operator=(const TSocketsStart&) = delete;
    // The connection keeps the start.
    void Keep() { FHeld = false; }

private:
    bool FHeld = true;
};

constexpr int kPieceSize = 10;

SOCKET Native(const TSocketOwner& ASocket) { return static_cast<SOCKET>(ASocket.Get()); }

// The system's own text of a Winsock error, in UTF-8 and without the line end it carries.
std::string SystemText(int AError) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(AError), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (length > 0) {
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
        text.resize(static_cast<std::size_t>(bytes));
        WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(length), text.data(), bytes, nullptr, nullptr);
    }
    if (buffer != nullptr) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text.empty() ? "WSA " + std::to_string(AError) : text;
}

// Why a connection failed, for people: the same Russian reasons as on Linux, word for word; the
// system's own text only for a failure without one.
std::string Reason(int AError) {
    switch (AError) {
        case WSAECONNREFUSED: return MessageText(TMessage::ReasonConnectionRefused);
        case WSAETIMEDOUT: return MessageText(TMessage::ReasonTimedOut);
        case WSAEHOSTUNREACH:
        case WSAENETUNREACH: return MessageText(TMessage::ReasonUnreachable);
        case WSAECONNRESET:
        case WSAECONNABORTED: return MessageText(TMessage::ReasonConnectionReset);
        default: return SystemText(AError);
    }
}

// One receive; the socket's receive time-out bounds it. Returns SOCKET_ERROR on failure or time-out.
int Receive(SOCKET ASocket, char* ABuffer, int ASize) { return ::recv(ASocket, ABuffer, ASize, 0); }

// Why a receive got nothing: silence for the receive time-out, a closed connection, or a failure.
std::string ReceiveProblem(int AResult, int AError) {
    if (AResult == 0) return Message(TMessage::PrinterClosedConnection);
    if (AError == WSAETIMEDOUT) return Message(TMessage::NoAnswerWithin, TPrinterSocket::ReceiveTimeOutMs);
    return Reason(AError);
}

// Waits until ASocket is readable (AWrite false) or writable, or ADeadline passes; a failed
// connect shows in the exception set. 1 ready, 0 time-out, -1 failed (WSAGetLastError).
int WaitSocket(SOCKET ASocket, bool AWrite, TDeadline ADeadline) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(ADeadline - TClock::now());
    const long long micros = left.count() > 0 ? left.count() : 0;
    timeval wait{static_cast<long>(micros / 1000000), static_cast<long>(micros % 1000000)};
    fd_set ready;
    fd_set failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(ASocket, &ready);
    FD_SET(ASocket, &failed);
    const int result = ::select(0, AWrite ? nullptr : &ready, AWrite ? &ready : nullptr, &failed, &wait);
    if (result == SOCKET_ERROR) return -1;
    if (FD_ISSET(ASocket, &failed)) return -1;
    return FD_ISSET(ASocket, &ready) ? 1 : 0;
}

}  // namespace

void TPrinterSocket::SetConnection() {
    CloseConnection();
    const std::uint32_t address = CheckedAddress();
    // Declared before the socket, so that a failed attempt closes its socket while Winsock runs.
    TSocketsStart start;

    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<u_short>(FIPPort));
    peer.sin_addr.s_addr = address;

    TSocketOwner socket(static_cast<TSocketOwner::TNative>(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)));
    u_long nonBlocking = 1;
    if (Native(socket) == INVALID_SOCKET || ::ioctlsocket(Native(socket), FIONBIO, &nonBlocking) != 0)
        Fail(TMessage::SocketCreateFailed, Reason(WSAGetLastError()));

    if (::connect(Native(socket), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        if (WSAGetLastError() != WSAEWOULDBLOCK) Fail(TMessage::ConnectFailed, Reason(WSAGetLastError()));
        const int ready =
            WaitSocket(Native(socket), true, DeadlineIn(std::chrono::milliseconds(ConnectTimeOutMs)));
        if (ready == 0) Fail(TMessage::ConnectFailed, Message(TMessage::ConnectNoAnswer, ConnectTimeOutMs));
        if (ready < 0) {
            // A refused connect lands in the exception set; the pending error says why.
            int error = 0;
            int size = sizeof error;
            if (::getsockopt(Native(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0 ||
                error == 0)
                error = WSAGetLastError();
            Fail(TMessage::ConnectFailed, Reason(error));
        }
    }
    u_long blocking = 0;
    if (::ioctlsocket(Native(socket), FIONBIO, &blocking) != 0)
        Fail(TMessage::ConnectFailed, Reason(WSAGetLastError()));
    // The 3-byte status query follows each label: without this it waits for the label's
    // acknowledgement, which the printer delays.
    const BOOL noDelay = TRUE;
    ::setsockopt(Native(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    const DWORD receive = ReceiveTimeOutMs;
    ::setsockopt(Native(socket), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&receive), sizeof receive);
    FSocket = std::move(socket);
    start.Keep();
}

void TPrinterSocket::WriteStr(const std::string& APacket) {
    // A send may take only part of the packet: send the rest too.
    std::size_t sent = 0;
    while (sent < APacket.size()) {
        const int n = ::send(Native(FSocket), APacket.data() + sent, static_cast<int>(APacket.size() - sent), 0);
        if (n == SOCKET_ERROR) Fail(TMessage::SendFailed, Reason(WSAGetLastError()));
        sent += static_cast<std::size_t>(n);
    }
}

void TPrinterSocket::ReadString(int ALen, std::string& ABytes) {
    std::string buffer(static_cast<std::size_t>(ALen > 0 ? ALen : 0), '\0');
    if (Receive(Native(FSocket), buffer.data(), static_cast<int>(buffer.size())) == SOCKET_ERROR)
        Fail(TMessage::ReceiveFailed, ReceiveProblem(-1, WSAGetLastError()));
    ABytes = std::move(buffer);
}

void TPrinterSocket::ReadString(std::string& ABytes) {
    std::string gathered;
    char piece[kPieceSize];
    int n = 0;
    for (;;) {
        n = Receive(Native(FSocket), piece, sizeof piece);
        if (n <= 0) break;  // closed, silent for the receive time-out, or failed
        gathered.append(piece, static_cast<std::size_t>(n));
    }
    if (gathered.empty()) Fail(TMessage::ReceiveFailed, ReceiveProblem(n, WSAGetLastError()));
    ABytes = std::move(gathered);
}

void TPrinterSocket::ReadChar(char& AByte) {
    char byte = 0;
    if (Receive(Native(FSocket), &byte, 1) == SOCKET_ERROR)
        Fail(TMessage::ReceiveFailed, ReceiveProblem(-1, WSAGetLastError()));
    AByte = byte;
}

void TPrinterSocket::ReadStringWithin(int ALen, std::string& ABytes, TDeadline ADeadline) {
    ABytes.clear();
    const int ready = FSocket.Valid() ? WaitSocket(Native(FSocket), false, ADeadline) : 1;
    if (ready < 0) Fail(TMessage::ReceiveFailed, Reason(WSAGetLastError()));
    if (ready == 0) return;  // silence: the caller decides what no answer means
    std::string buffer(static_cast<std::size_t>(ALen > 0 ? ALen : 0), '\0');
    const int n = Receive(Native(FSocket), buffer.data(), static_cast<int>(buffer.size()));
    // Unlike the padded read, a closed connection is no answer of zero bytes.
    if (n <= 0) Fail(TMessage::ReceiveFailed, ReceiveProblem(n, WSAGetLastError()));
    buffer.resize(static_cast<std::size_t>(n));
    ABytes = std::move(buffer);
}

void TPrinterSocket::CloseConnection() {
    if (!FSocket.Valid()) return;
    ::shutdown(Native(FSocket), SD_BOTH);
    FSocket.Reset();
    // The connection's start of Winsock; nobody to tell if the count is already off.
    WSACleanup();
}

bool TPrinterSocket::ParseIpv4(const std::string& AText, std::uint32_t& AAddress) {
    AAddress = ::inet_addr(AText.c_str());
    return AAddress != INADDR_NONE;
}

void StartSocketsLibrary() {
    WSADATA data{};
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0)
        throw EquException(1001, TMessage::WinsockStartFailed, MessageText(TMessage::WinsockStartFailed));
}

void StopSocketsLibrary() {
    if (WSACleanup() != 0)
        throw EquException(1001, TMessage::WinsockCleanupFailed, MessageText(TMessage::WinsockCleanupFailed));
}

}  // namespace quorvane
