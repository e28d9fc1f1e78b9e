#include "transport/port_manager.h"

#include <stdexcept>

#include "errors/equipment_errors.h"

namespace quorvane {

namespace {

[[noreturn]] void Fail(const std::string& AText) { throw std::runtime_error(AText); }

// USB open and write failures carry the standard text of their code.
void CheckUSBCode(int ACode) {
    if (ACode != 0) Fail(EquipmentErrorText(ACode));
}

}  // namespace

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
        case TPortType::ptUSB:
            CheckUSBCode(FUSBPort->OpenPort(true));
            break;
        case TPortType::ptCOM:
            if (!FCOMPort->Open()) Fail("Ошибка открытия COM-порта. " + FCOMPort->ExtResultDescription());
            break;
        case TPortType::ptLAN:
            FLANPort->SetConnection();
            break;
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
            if (!FCOMPort->Purge(true) || !FCOMPort->WriteStr(AData, 0)) Fail(FCOMPort->ExtResultDescription());
            break;
        case TPortType::ptLAN:
            FLANPort->WriteStr(AData);
            break;
    }
}

std::string TPortManager::ReadFromPort(int ACount) {
    std::string data;
    switch (FPortType) {
        case TPortType::ptUSB: {
            const int code = ACount >= 1 ? FUSBPort->ReadFromPort(ACount, data, true) : FUSBPort->ReadFromPort(data, true);
            if (code != 0) Fail(FUSBPort->LastErrorDescription());
            break;
        }
        case TPortType::ptCOM: {
            const bool ok = ACount >= 1 ? FCOMPort->ReadString(ACount, data) : FCOMPort->ReadString(data, 0);
            if (!ok) Fail(FCOMPort->ExtResultDescription());
            break;
        }
        case TPortType::ptLAN:
            if (ACount >= 1) FLANPort->ReadString(ACount, data);
            else FLANPort->ReadString(data);
            break;
    }
    return data;
}

std::string TPortManager::ReadFromPortWithin(int ACount, TDeadline ADeadline) {
    if (ACount < 1) Fail("ReadFromPortWithin needs a byte count of at least 1");
    std::string data;
    switch (FPortType) {
        case TPortType::ptUSB:
            if (FUSBPort->ReadFromPortWithin(ACount, data, ADeadline) != 0) Fail(FUSBPort->LastErrorDescription());
            break;
        case TPortType::ptCOM:
            if (!FCOMPort->ReadStringWithin(ACount, data, ADeadline)) Fail(FCOMPort->ExtResultDescription());
            break;
        case TPortType::ptLAN:
            FLANPort->ReadStringWithin(ACount, data, ADeadline);
            break;
    }
    return data;
}

void TPortManager::FlushBuffer() {
    switch (FPortType) {
        case TPortType::ptUSB:
            FUSBPort->FlushBuffers();
            break;
        case TPortType::ptCOM:
            if (!FCOMPort->Purge(true)) Fail(FCOMPort->ExtResultDescription());
            break;
        case TPortType::ptLAN:
            break;
    }
}

void TPortManager::ClosePort() {
    switch (FPortType) {
        case TPortType::ptUSB:
            FUSBPort->ClosePort();
            break;
        case TPortType::ptCOM:
            FCOMPort->Close();
            break;
        case TPortType::ptLAN:
            FLANPort->CloseConnection();
            break;
    }
}

}  // namespace quorvane
