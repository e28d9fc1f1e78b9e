#include "transport/channels.h"

#include <thread>

#include "errors/messages.h"
#include "transport/port_manager.h"
#include "transport/system_reason.h"

// The USB channel, one for every system: only the device calls under TUsbDeviceIo differ.

namespace quorvane {

TPortManager::TPortManager(const std::string& APortName, std::shared_ptr<TUsbDeviceIo> AIo)
    : FChannel(std::make_unique<TUsbChannel>(APortName, std::move(AIo))) {}

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

void TUsbChannel::PassTurn() { std::this_thread::yield(); }

}  // namespace quorvane
