#include "transport/channels.h"

#include <sched.h>

#include "errors/messages.h"
#include "transport/posix_io.h"

namespace quorvane {

namespace {

// The documented text first, then where it happened and, when known, why.
std::string WithContext(const std::string& AText, const std::string& AWhere, const std::string& AWhy = {}) {
    return AText + ": " + AWhere + (AWhy.empty() ? "" : " — " + AWhy);
}

// A COM port by its number and the device file it stands for.
std::string ComPlace(const TComm& AComm) {
    const std::string path = TComm::PortPath(AComm.PortNumber());
    return "COM" + std::to_string(AComm.PortNumber()) + " (" +
           (path.empty() ? std::string(MessageText(TMessage::ComPortNumberUnknown)) : path) + ")";
}

}  // namespace

// ---- USB ----------------------------------------------------------------------------------

TUsbChannel::TUsbChannel(const std::string& APortName, std::shared_ptr<TUsbDeviceIo> AIo)
    : FPort(std::move(AIo)) {
    FPort.SetPortName(APortName);
    FPort.SetInterfaceType(TPrintInterfaceType::itUSBPrint);
}

// Open and write failures carry the standard text of their code, then the device and why.
void TUsbChannel::Check(int ACode) const {
    if (ACode == 0) return;
    std::string why = FPort.LastErrorDescription();
    if (FPort.LastOpenError() != 0)
        why = SystemReason(FPort.LastOpenError(), "lp");
    else if (ACode == 1007)
        why = Message(TMessage::PrinterNotTakingData, FPort.WriteTimeOut());
    const TMessage id = EquipmentErrorMessage(ACode).value_or(TMessage::UnknownError);
    throw EquException(ACode, id, WithContext(MessageText(id), FPort.PortName(), why));
}

void TUsbChannel::FailRead(int ACode) const {
    throw EquException(ACode, WithContext(FPort.LastErrorDescription(), FPort.PortName()));
}

void TUsbChannel::Open() { Check(FPort.OpenPort(true)); }

void TUsbChannel::Write(const std::string& AData) {
    FPort.FlushBuffers();
    Check(FPort.SendToPort(AData, true));
}

std::string TUsbChannel::Read(int ACount) {
    std::string data;
    const int code = ACount >= 1 ? FPort.ReadFromPort(ACount, data, true) : FPort.ReadFromPort(data, true);
    if (code != 0) FailRead(code);
    return data;
}

std::string TUsbChannel::ReadWithin(int ACount, TDeadline ADeadline) {
    std::string data;
    if (const int code = FPort.ReadFromPortWithin(ACount, data, ADeadline); code != 0) FailRead(code);
    return data;
}

void TUsbChannel::Flush() { FPort.FlushBuffers(); }

void TUsbChannel::Close() { FPort.ClosePort(); }

void TUsbChannel::PassTurn() { sched_yield(); }

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
