#include "transport/printer_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <string_view>

#include "errors/equipment_errors.h"
#include "text/ascii_text.h"

namespace quorvane {

namespace {

constexpr int kErrorCode = 1001;
constexpr int kPieceSize = 10;

[[noreturn]] void Fail(TMessage AId, const std::string& AText) { throw EquException(kErrorCode, AId, AText); }

// Leading and trailing blanks and control characters go, as the setting may carry them.
std::string Trim(const std::string& AText) { return std::string(TrimControls(AText)); }

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

// A part written with a leading zero ("010") is read by inet_addr as octal ("0x10": hex), so
// the labels would reach another printer than the one typed. The problem, or empty.
std::string LeadingZeroProblem(const std::string& AAddress) {
    std::string plain;  // the parts without their leading zeros: "127.000.000.010" -> "127.0.0.10"
    bool zeros = false;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = std::min(AAddress.find('.', start), AAddress.size());
        std::string_view part(AAddress.data() + start, end - start);
        if (part.size() > 1 && part.front() == '0') zeros = true;
        while (part.size() > 1 && part.front() == '0') part.remove_prefix(1);
        plain.append(start > 0 ? "." : "").append(part);
        if (end == AAddress.size()) break;
        start = end + 1;
    }
    if (!zeros) return {};
    const bool decimal = std::all_of(plain.begin(), plain.end(),
                                     [](unsigned char c) { return c == '.' || std::isdigit(c); });
    return decimal ? Message(TMessage::AddressLeadingZero, AAddress, plain)
                   : Message(TMessage::AddressNotIpv4, AAddress);
}

// Why an address inet_addr refused is no use, for the person who typed it.
std::string AddressProblem(const std::string& AAddress) {
    if (AAddress.empty()) return Message(TMessage::AddressNotGiven);
    if (AAddress == "255.255.255.255") return Message(TMessage::BroadcastAddress, AAddress);
    const bool named =
        std::any_of(AAddress.begin(), AAddress.end(), [](unsigned char c) { return std::isalpha(c); });
    return named ? Message(TMessage::HostNameNotAddress, AAddress)
                 : Message(TMessage::AddressNotIpv4, AAddress);
}

// Why a receive got nothing: silence for the receive time-out, a closed connection, or a failure.
std::string ReceiveProblem(ssize_t AResult, int AError) {
    if (AResult == 0) return Message(TMessage::PrinterClosedConnection);
    if (AError == EAGAIN || AError == EWOULDBLOCK)
        return Message(TMessage::NoAnswerWithin, TPrinterSocket::ReceiveTimeOutMs);
    return SystemReason(AError);
}

}  // namespace

void TPrinterSocket::Fail(TMessage AId, const std::string& AWhy) const {
    ::quorvane::Fail(AId, std::string(MessageText(AId)) + ": " + Trim(FIPAddress) + ":" +
                              std::to_string(FIPPort) + " — " + AWhy);
}

void TPrinterSocket::SetConnection() {
    CloseConnection();
    // inet_addr takes the classic dotted forms and never looks a name up; it answers the
    // broadcast address with the same all-ones value as an error, so that one is refused too.
    const std::string typed = Trim(FIPAddress);
    if (const std::string problem = LeadingZeroProblem(typed); !problem.empty())
        ::quorvane::Fail(TMessage::IpAddressSyntax,
                         std::string(MessageText(TMessage::IpAddressSyntax)) + ": " + problem);
    // inet_addr stops at the first blank and takes "1.2.3.4 anything" as 1.2.3.4: an address is
    // letters, digits and dots alone, or it is refused here with the reason.
    const bool plain = std::all_of(typed.begin(), typed.end(),
                                   [](unsigned char c) { return c == '.' || std::isalnum(c); });
    const in_addr_t address = plain ? ::inet_addr(typed.c_str()) : INADDR_NONE;
    if (address == INADDR_NONE)
        ::quorvane::Fail(TMessage::IpAddressSyntax,
                         std::string(MessageText(TMessage::IpAddressSyntax)) + ": " + AddressProblem(typed));
    if (FIPPort < 1 || FIPPort > 65535)
        ::quorvane::Fail(TMessage::IpPortRange,
                         std::string(MessageText(TMessage::IpPortRange)) + ": " + std::to_string(FIPPort));

    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<uint16_t>(FIPPort));
    peer.sin_addr.s_addr = address;

    TFileDescriptor socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
    if (!socket.Valid() || !SetBlocking(socket.Get(), false))
        Fail(TMessage::SocketCreateFailed, SystemReason(errno));

    if (::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        if (errno != EINPROGRESS && errno != EINTR) Fail(TMessage::ConnectFailed, SystemReason(errno));
        const int events =
            WaitReady(socket.Get(), POLLOUT, DeadlineIn(std::chrono::milliseconds(ConnectTimeOutMs)));
        if (events < 0) Fail(TMessage::ConnectFailed, SystemReason(errno));
        if (events == 0) Fail(TMessage::ConnectFailed, Message(TMessage::ConnectNoAnswer, ConnectTimeOutMs));
        // Linux reports a refused connect as writable too; the pending error tells them apart.
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(socket.Get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
        if (error != 0) Fail(TMessage::ConnectFailed, SystemReason(error));
    }
    if (!SetBlocking(socket.Get(), true)) Fail(TMessage::ConnectFailed, SystemReason(errno));
    // The 3-byte status query follows each label: without this it waits for the label's
    // acknowledgement, which the printer delays (about 40 ms a label on Linux peers).
    const int noDelay = 1;
    ::setsockopt(socket.Get(), IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    timeval receive{ReceiveTimeOutMs / 1000, (ReceiveTimeOutMs % 1000) * 1000};
    ::setsockopt(socket.Get(), SOL_SOCKET, SO_RCVTIMEO, &receive, sizeof receive);
    FSocket = std::move(socket);
}

void TPrinterSocket::WriteStr(const std::string& APacket) {
    // A send may take only part of the packet (a signal, a full buffer): send the rest too.
    // MSG_NOSIGNAL: a printer that closed the connection must not kill the host with SIGPIPE.
    size_t sent = 0;
    while (sent < APacket.size()) {
        const ssize_t n = ::send(FSocket.Get(), APacket.data() + sent, APacket.size() - sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail(TMessage::SendFailed, SystemReason(errno));
        }
        sent += static_cast<size_t>(n);
    }
}

void TPrinterSocket::ReadString(int ALen, std::string& ABytes) {
    std::string buffer(static_cast<size_t>(ALen > 0 ? ALen : 0), '\0');
    if (Receive(FSocket.Get(), buffer.data(), buffer.size()) < 0)
        Fail(TMessage::ReceiveFailed, ReceiveProblem(-1, errno));
    ABytes = std::move(buffer);
}

void TPrinterSocket::ReadString(std::string& ABytes) {
    std::string gathered;
    char piece[kPieceSize];
    ssize_t n = 0;
    for (;;) {
        n = Receive(FSocket.Get(), piece, sizeof piece);
        if (n <= 0) break;  // closed, silent for the receive time-out, or failed
        gathered.append(piece, static_cast<size_t>(n));
    }
    if (gathered.empty()) Fail(TMessage::ReceiveFailed, ReceiveProblem(n, errno));
    ABytes = std::move(gathered);
}

void TPrinterSocket::ReadChar(char& AByte) {
    char byte = 0;
    if (Receive(FSocket.Get(), &byte, 1) < 0) Fail(TMessage::ReceiveFailed, ReceiveProblem(-1, errno));
    AByte = byte;
}

void TPrinterSocket::ReadStringWithin(int ALen, std::string& ABytes, TDeadline ADeadline) {
    ABytes.clear();
    const int events = FSocket.Valid() ? WaitReady(FSocket.Get(), POLLIN, ADeadline) : 1;
    if (events < 0) Fail(TMessage::ReceiveFailed, SystemReason(errno));
    if (events == 0) return;  // silence: the caller decides what no answer means
    std::string buffer(static_cast<size_t>(ALen > 0 ? ALen : 0), '\0');
    const ssize_t n = Receive(FSocket.Get(), buffer.data(), buffer.size());
    // Unlike the padded read, a closed connection is no answer of zero bytes.
    if (n <= 0) Fail(TMessage::ReceiveFailed, ReceiveProblem(n, errno));
    buffer.resize(static_cast<size_t>(n));
    ABytes = std::move(buffer);
}

void TPrinterSocket::CloseConnection() {
    if (!FSocket.Valid()) return;
    ::shutdown(FSocket.Get(), SHUT_RDWR);
    FSocket.Reset();
}

void StartSocketsLibrary() {}

void StopSocketsLibrary() {}

}  // namespace quorvane
