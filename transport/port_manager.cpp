#include "transport/port_manager.h"

#include <stdexcept>

#include "errors/equipment_errors.h"

namespace quorvane {

namespace {

[[noreturn]] void Fail(const std::string& AText) { throw std::runtime_error(AText); }

// The documented text first, then where it happened and, when known, why.
std::string WithContext(const std::string& AText, const std::string& AWhere, const std::string& AWhy = {}) {
    return AText + ": " + AWhere + (AWhy.empty() ? "" : " — " + AWhy);
}

// A COM port by its number and the device file it stands for.
std::string ComPlace(const TComm& AComm) {
    const std::string path = TComm::PortPath(AComm.PortNumber());
    return "COM" + std::to_string(AComm.PortNumber()) +
           (path.empty() ? " (нет такого порта: допустимы номера 1-128)" : " (" + path + ")");
}

[[noreturn]] void FailCOM(const TComm& AComm, const std::string& AText) {
    Fail(WithContext(AText, ComPlace(AComm)));
}

}  // namespace

// USB open and write failures carry the standard text of their code, then the device and why.
void TPortManager::CheckUSBCode(int ACode) const {
    if (ACode == 0) return;
    std::string why = FUSBPort->LastErrorDescription();
    if (FUSBPort->LastOpenError() != 0)
        why = SystemReason(FUSBPort->LastOpenError(), "lp");
    else if (ACode == 1007)
        why = "принтер не принимает данные дольше " + std::to_string(FUSBPort->WriteTimeOut()) + " мс";
    Fail(WithContext(EquipmentErrorText(ACode), FUSBPort->PortName(), why));
}

TPortManager::TPortManager(const std::string& APortName, std::shared_ptr<TUsbDeviceIo> AIo)
    : FPortType(TPortType::ptUSB), FUSBPort(std::make_unique<TPrinterPort>(std::move(AIo))) {
    FUSBPort->SetPortName(APortName);
    FUSBPort->SetInterfaceType(TPrintInterfaceType::itUSBPrint);
}

TPortManager::TPortManager(int APortNumber, int ABaudRate, int ADataBits, int AStopBits, int AParity)
    : FPortType(TPortType::ptCOM), FCOMPort(std::make_unique<TComm>()) {
    FCOMPort->SetBaudRateAsInt(ABaudRate);
    FCOMPort->SetPortNumber(APortNumber);
    // Stored as the 8-bit values they are: the setting numbers are the line-setting codes.
    FCOMPort->SetDataBits(static_cast<uint8_t>(ADataBits));
    FCOMPort->SetStopBits(static_cast<TStopBits>(static_cast<uint8_t>(AStopBits)));
    FCOMPort->SetParity(static_cast<TParity>(static_cast<uint8_t>(AParity)));
}

TPortManager::TPortManager(const std::string& AIPAddress, int AIPPort)
    : FPortType(TPortType::ptLAN), FLANPort(std::make_unique<TPrinterSocket>(AIPAddress, AIPPort)) {}

TPortManager::~TPortManager() = default;

void TPortManager::OpenPort() {
    switch (FPortType) {
        case TPortType::ptUSB: CheckUSBCode(FUSBPort->OpenPort(true)); break;
        case TPortType::ptCOM:
            if (!FCOMPort->Open()) {
                const int error = FCOMPort->LastSystemError();
                Fail(WithContext(
                    "Ошибка открытия COM-порта", ComPlace(*FCOMPort),
                    error != 0 ? SystemReason(error, "dialout") : FCOMPort->ExtResultDescription()));
            }
            break;
        case TPortType::ptLAN: FLANPort->SetConnection(); break;
    }
}

void TPortManager::WriteToPort(const std::string& AData) {
    switch (FPortType) {
        case TPortType::ptUSB:
            FUSBPort->FlushBuffers();
            CheckUSBCode(FUSBPort->SendToPort(AData, true));
            break;
        case TPortType::ptCOM:
            // Whatever the printer said before this write is dropped: a reply belongs to the
            // write that prompted it.
            if (!FCOMPort->Purge(true) || !FCOMPort->WriteStr(AData, 0))
                FailCOM(*FCOMPort, FCOMPort->ExtResultDescription());
            break;
        case TPortType::ptLAN: FLANPort->WriteStr(AData); break;
    }
}

std::string TPortManager::ReadFromPort(int ACount) {
    std::string data;
    switch (FPortType) {
        case TPortType::ptUSB: {
            const int code =
                ACount >= 1 ? FUSBPort->ReadFromPort(ACount, data, true) : FUSBPort->ReadFromPort(data, true);
            if (code != 0) Fail(WithContext(FUSBPort->LastErrorDescription(), FUSBPort->PortName()));
            break;
        }
        case TPortType::ptCOM: {
            const bool ok = ACount >= 1 ? FCOMPort->ReadString(ACount, data) : FCOMPort->ReadString(data, 0);
            if (!ok) FailCOM(*FCOMPort, FCOMPort->ExtResultDescription());
            break;
        }
        case TPortType::ptLAN:
            if (ACount >= 1)
                FLANPort->ReadString(ACount, data);
            else
                FLANPort->ReadString(data);
            break;
    }
    return data;
}

std::string TPortManager::ReadFromPortWithin(int ACount, TDeadline ADeadline) {
    if (ACount < 1) Fail("ReadFromPortWithin needs a byte count of at least 1");
    std::string data;
    switch (FPortType) {
        case TPortType::ptUSB:
            if (FUSBPort->ReadFromPortWithin(ACount, data, ADeadline) != 0)
                Fail(WithContext(FUSBPort->LastErrorDescription(), FUSBPort->PortName()));
            break;
        case TPortType::ptCOM:
            if (!FCOMPort->ReadStringWithin(ACount, data, ADeadline))
                FailCOM(*FCOMPort, FCOMPort->ExtResultDescription());
            break;
        case TPortType::ptLAN: FLANPort->ReadStringWithin(ACount, data, ADeadline); break;
    }
    return data;
}

void TPortManager::FlushBuffer() {
    switch (FPortType) {
        case TPortType::ptUSB: FUSBPort->FlushBuffers(); break;
        case TPortType::ptCOM:
            if (!FCOMPort->Purge(true)) FailCOM(*FCOMPort, FCOMPort->ExtResultDescription());
            break;
        case TPortType::ptLAN: break;
    }
}

void TPortManager::ClosePort() {
    switch (FPortType) {
        case TPortType::ptUSB: FUSBPort->ClosePort(); break;
        case TPortType::ptCOM: FCOMPort->Close(); break;
        case TPortType::ptLAN: FLANPort->CloseConnection(); break;
    }
}

}  // namespace quorvane
