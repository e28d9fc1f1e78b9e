// The parts of TPrinterSocket both systems share: the address checks and the failure texts. The
// system calls are in printer_socket_posix.cpp and printer_socket_windows.cpp.

#include <algorithm>
#include <cctype>
#include <string_view>

#include "errors/equipment_errors.h"
#include "text/ascii_text.h"
#include "transport/printer_socket.h"

namespace quorvane {

namespace {

constexpr int kErrorCode = 1001;

[[noreturn]] void Fail(TMessage AId, const std::string& AText) { throw EquException(kErrorCode, AId, AText); }

// Leading and trailing blanks and control characters go, as the setting may carry them.
std::string Trim(const std::string& AText) { return std::string(TrimControls(AText)); }

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

}  // namespace

void TPrinterSocket::Fail(TMessage AId, const std::string& AWhy) const {
    ::quorvane::Fail(AId, std::string(MessageText(AId)) + ": " + Trim(FIPAddress) + ":" +
                              std::to_string(FIPPort) + " — " + AWhy);
}

std::uint32_t TPrinterSocket::CheckedAddress() const {
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
    std::uint32_t address = 0;
    if (!plain || !ParseIpv4(typed, address))
        ::quorvane::Fail(TMessage::IpAddressSyntax,
                         std::string(MessageText(TMessage::IpAddressSyntax)) + ": " + AddressProblem(typed));
    if (FIPPort < 1 || FIPPort > 65535)
        ::quorvane::Fail(TMessage::IpPortRange,
                         std::string(MessageText(TMessage::IpPortRange)) + ": " + std::to_string(FIPPort));
    return address;
}

}  // namespace quorvane
