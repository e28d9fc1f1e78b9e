#include "transport/channels.h"

#include "errors/messages.h"
#include "transport/system_reason.h"

namespace quorvane {

namespace {

// A COM port by its number and the device file it stands for.
std::string ComPlace(const TComm& AComm) {
    const std::string path = TComm::PortPath(AComm.PortNumber());
    return "COM" + std::to_string(AComm.PortNumber()) + " (" +
           (path.empty() ? std::string(MessageText(TMessage::ComPortNumberUnknown)) : path) + ")";
}

}  // namespace

// ---- Serial -------------------------------------------------------------------------------

TSerialChannel::TSerialChannel(int APortNumber, int ABaudRate, int ADataBits, int AStopBits, int AParity) {
    FPort.SetBaudRateAsInt(ABaudRate);
    FPort.SetPortNumber(APortNumber);
    // Stored as the 8-bit values they are: the setting numbers are the line-setting codes.
    FPort.SetDataBits(static_cast<uint8_t>(ADataBits));
    FPort.SetStopBits(static_cast<TStopBits>(static_cast<uint8_t>(AStopBits)));
    FPort.SetParity(static_cast<TParity>(static_cast<uint8_t>(AParity)));
}

void TSerialChannel::Fail(int ACode, const std::string& AText) const {
    throw EquException(ACode, WithContext(AText, ComPlace(FPort)));
}

void TSerialChannel::Open() {
    if (FPort.Open()) return;
    const int error = FPort.LastSystemError();
    throw EquException(
        1011, TMessage::ComPortOpenFailed,
        WithContext(MessageText(TMessage::ComPortOpenFailed), ComPlace(FPort),
                    error != 0 ? SystemReason(error, "dialout") : FPort.ExtResultDescription()));
}

void TSerialChannel::Write(const std::string& AData) {
    if (!FPort.Purge(true) || !FPort.WriteStr(AData, 0)) Fail(1016, FPort.ExtResultDescription());
}

std::string TSerialChannel::Read(int ACount) {
    std::string data;
    const bool ok = ACount >= 1 ? FPort.ReadString(ACount, data) : FPort.ReadString(data, 0);
    if (!ok) Fail(1017, FPort.ExtResultDescription());
    return data;
}

std::string TSerialChannel::ReadWithin(int ACount, TDeadline ADeadline) {
    std::string data;
    if (!FPort.ReadStringWithin(ACount, data, ADeadline)) Fail(1017, FPort.ExtResultDescription());
    return data;
}

void TSerialChannel::Flush() {
    if (!FPort.Purge(true)) Fail(1001, FPort.ExtResultDescription());
}

void TSerialChannel::Close() { FPort.Close(); }

// ---- Network ------------------------------------------------------------------------------

TNetworkChannel::TNetworkChannel(const std::string& AIPAddress, int AIPPort) : FPort(AIPAddress, AIPPort) {}

void TNetworkChannel::Open() { FPort.SetConnection(); }

void TNetworkChannel::Write(const std::string& AData) { FPort.WriteStr(AData); }

std::string TNetworkChannel::Read(int ACount) {
    std::string data;
    if (ACount >= 1)
        FPort.ReadString(ACount, data);
    else
        FPort.ReadString(data);
    return data;
}

std::string TNetworkChannel::ReadWithin(int ACount, TDeadline ADeadline) {
    std::string data;
    FPort.ReadStringWithin(ACount, data, ADeadline);
    return data;
}

void TNetworkChannel::Close() { FPort.CloseConnection(); }

}  // namespace quorvane
