#include "transport/printer_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

#include "errors/equipment_errors.h"
#include "transport/posix_io.h"

namespace quorvane {

namespace {

constexpr int kPieceSize = 10;

// The descriptor of a socket, as the system calls take it.
int Fd(const TSocketOwner& ASocket) { return static_cast<int>(ASocket.Get()); }

bool SetBlocking(int AFd, bool ABlocking) {
    const int flags = ::fcntl(AFd, F_GETFL);
    if (flags < 0) return false;
    return ::fcntl(AFd, F_SETFL, ABlocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK) == 0;
}

// One receive; the socket's receive time-out bounds it. Returns -1 on failure or time-out.
ssize_t Receive(int AFd, char* ABuffer, size_t ASize) {
    for (;;) {
        const ssize_t n = ::recv(AFd, ABuffer, ASize, 0);
        if (n >= 0 || errno != EINTR) return n;
    }
}

// Why a receive got nothing: silence for the receive time-out, a closed connection, or a failure.
std::string ReceiveProblem(ssize_t AResult, int AError) {
    if (AResult == 0) return Message(TMessage::PrinterClosedConnection);
    if (AError == EAGAIN || AError == EWOULDBLOCK)
        return Message(TMessage::NoAnswerWithin, TPrinterSocket::ReceiveTimeOutMs);
    return SystemReason(AError);
}

}  // namespace

void TPrinterSocket::SetConnection() {
    CloseConnection();
    const std::uint32_t address = CheckedAddress();

    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<uint16_t>(FIPPort));
    peer.sin_addr.s_addr = address;

    TSocketOwner socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
    if (!socket.Valid() || !SetBlocking(Fd(socket), false))
        Fail(TMessage::SocketCreateFailed, SystemReason(errno));

    if (::connect(Fd(socket), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        if (errno != EINPROGRESS && errno != EINTR) Fail(TMessage::ConnectFailed, SystemReason(errno));
        const int events =
            WaitReady(Fd(socket), POLLOUT, DeadlineIn(std::chrono::milliseconds(ConnectTimeOutMs)));
        if (events < 0) Fail(TMessage::ConnectFailed, SystemReason(errno));
        if (events == 0) Fail(TMessage::ConnectFailed, Message(TMessage::ConnectNoAnswer, ConnectTimeOutMs));
        // Linux reports a refused connect as writable too; the pending error tells them apart.
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(Fd(socket), SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
        if (error != 0) Fail(TMessage::ConnectFailed, SystemReason(error));
    }
    if (!SetBlocking(Fd(socket), true)) Fail(TMessage::ConnectFailed, SystemReason(errno));
    // The 3-byte status query follows each label: without this it waits for the label's
    // acknowledgement, which the printer delays (about 40 ms a label on Linux peers).
    const int noDelay = 1;
    ::setsockopt(Fd(socket), IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    timeval receive{ReceiveTimeOutMs / 1000, (ReceiveTimeOutMs % 1000) * 1000};
    ::setsockopt(Fd(socket), SOL_SOCKET, SO_RCVTIMEO, &receive, sizeof receive);
    FSocket = std::move(socket);
}

void TPrinterSocket::WriteStr(const std::string& APacket) {
    // A send may take only part of the packet (a signal, a full buffer): send the rest too.
    // MSG_NOSIGNAL: a printer that closed the connection must not kill the host with SIGPIPE.
    size_t sent = 0;
    while (sent < APacket.size()) {
        const ssize_t n = ::send(Fd(FSocket), APacket.data() + sent, APacket.size() - sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail(TMessage::SendFailed, SystemReason(errno));
        }
        sent += static_cast<size_t>(n);
    }
}

void TPrinterSocket::ReadString(int ALen, std::string& ABytes) {
    std::string buffer(static_cast<size_t>(ALen > 0 ? ALen : 0), '\0');
    if (Receive(Fd(FSocket), buffer.data(), buffer.size()) < 0)
        Fail(TMessage::ReceiveFailed, ReceiveProblem(-1, errno));
    ABytes = std::move(buffer);
}

void TPrinterSocket::ReadString(std::string& ABytes) {
    std::string gathered;
    char piece[kPieceSize];
    ssize_t n = 0;
    for (;;) {
        n = Receive(Fd(FSocket), piece, sizeof piece);
        if (n <= 0) break;  // closed, silent for the receive time-out, or failed
        gathered.append(piece, static_cast<size_t>(n));
    }
    if (gathered.empty()) Fail(TMessage::ReceiveFailed, ReceiveProblem(n, errno));
    ABytes = std::move(gathered);
}

void TPrinterSocket::ReadChar(char& AByte) {
    char byte = 0;
    if (Receive(Fd(FSocket), &byte, 1) < 0) Fail(TMessage::ReceiveFailed, ReceiveProblem(-1, errno));
    AByte = byte;
}

void TPrinterSocket::ReadStringWithin(int ALen, std::string& ABytes, TDeadline ADeadline) {
    ABytes.clear();
    const int events = FSocket.Valid() ? WaitReady(Fd(FSocket), POLLIN, ADeadline) : 1;
    if (events < 0) Fail(TMessage::ReceiveFailed, SystemReason(errno));
    if (events == 0) return;  // silence: the caller decides what no answer means
    std::string buffer(static_cast<size_t>(ALen > 0 ? ALen : 0), '\0');
    const ssize_t n = Receive(Fd(FSocket), buffer.data(), buffer.size());
    // Unlike the padded read, a closed connection is no answer of zero bytes.
    if (n <= 0) Fail(TMessage::ReceiveFailed, ReceiveProblem(n, errno));
    buffer.resize(static_cast<size_t>(n));
    ABytes = std::move(buffer);
}

void TPrinterSocket::CloseConnection() {
    if (!FSocket.Valid()) return;
    ::shutdown(Fd(FSocket), SHUT_RDWR);
    FSocket.Reset();
}

bool TPrinterSocket::ParseIpv4(const std::string& AText, std::uint32_t& AAddress) {
    AAddress = ::inet_addr(AText.c_str());
    return AAddress != INADDR_NONE;
}

void StartSocketsLibrary() {}

void StopSocketsLibrary() {}

}  // namespace quorvane
