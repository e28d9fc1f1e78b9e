#pragma once

#include <cstdint>
#include <string>

#include "transport/posix_io.h"

namespace quorvane {

enum class TPrintInterfaceType : uint8_t { itUSBPrint, itLPT };

// Bits of the device status byte the write loop tests.
namespace PrinterStatus {
constexpr uint8_t PaperEmpty = 0x04;
constexpr uint8_t OffLine = 0x08;
constexpr uint8_t PowerOff = 0x10;
constexpr uint8_t NotConnected = 0x20;
constexpr uint8_t Busy = 0x40;
}  // namespace PrinterStatus

// The device status byte from the USB printer class port status that LPGETSTATUS answers
// (0x20 paper out, 0x10 selected, 0x08 no error; the last two active low): paper out gives
// PaperEmpty; otherwise not selected or an error gives OffLine.
uint8_t PrinterStatusFromPortStatus(int APortStatus);

// A USB printer opened by its device path (/dev/usb/lpN). Writes run under a progress window
// and poll the device status between writes; reads are bounded. Operations answer a result
// code (0, 1001, 1007, 1008, 1009, 1011) and leave a text in LastErrorDescription().
// Any other path works too (a pseudo-terminal in tests): its status request fails and is skipped.
class TPrinterPort {
public:
    TPrinterPort() = default;
    virtual ~TPrinterPort() { ClosePort(); }
    TPrinterPort(const TPrinterPort&) = delete;
    TPrinterPort& operator=(const TPrinterPort&) = delete;

    static constexpr uint32_t kReadTimeOutMs = 500;
    static constexpr size_t kReadPieceSize = 2048;
    static constexpr int kFaultBackOffMs = 100;

    // A second open while open answers 0.
    int OpenPort(bool AOverlappedMode);
    int SendToPort(const std::string& AData, bool AOverlappedMode);
    // One read of at most ACount bytes that must begin within 500 ms; fewer bytes are fine.
    int ReadFromPort(int ACount, std::string& AData, bool AOverlappedMode);
    // Reads of up to 2048 bytes, each allowed 500 ms, until one brings nothing; a silent
    // printer answers 0 with empty data.
    int ReadFromPort(std::string& AData, bool AOverlappedMode);
    // Waits until data arrives or ADeadline passes, then the counted read: at most the wait
    // plus 500 ms, and back the moment the printer answers.
    int ReadFromPortWithin(int ACount, std::string& AData, TDeadline ADeadline);
    // Hands written data on to the device; nothing when closed.
    void FlushBuffers();
    void ClosePort();

    bool Opened() const { return FPortHandle.Valid(); }
    const std::string& PortName() const { return FPortName; }
    void SetPortName(std::string AValue) { FPortName = std::move(AValue); }
    TPrintInterfaceType InterfaceType() const { return FInterfaceType; }
    void SetInterfaceType(TPrintInterfaceType AValue) { FInterfaceType = AValue; }
    const std::string& LastErrorDescription() const { return FLastErrorDescription; }
    // The progress window: a write ends unfinished this long after the last progress or
    // status change.
    uint32_t WriteTimeOut() const { return FWriteTimeOut; }
    void SetWriteTimeOut(uint32_t AMs) { FWriteTimeOut = AMs; }
    // How long one device write may wait for the device to take data.
    uint32_t WriteWaitTimeOut() const { return FWriteWaitTimeOut; }
    void SetWriteWaitTimeOut(uint32_t AMs) { FWriteWaitTimeOut = AMs; }

protected:
    // The device status byte; false when the device answers no status request.
    virtual bool QueryPrinterStatus(uint8_t& AStatus);

private:
    int SystemFailure();

    TFileDescriptor FPortHandle;
    std::string FPortName;
    TPrintInterfaceType FInterfaceType = TPrintInterfaceType::itUSBPrint;
    std::string FLastErrorDescription;
    uint32_t FWriteTimeOut = 1000;
    uint32_t FWriteWaitTimeOut = 60000;
};

}  // namespace quorvane
