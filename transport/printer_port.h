#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "transport/deadline.h"
#include "transport/usb_device_io.h"

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

// The device status byte from the USB printer class port status (Linux: LPGETSTATUS; Windows:
// the class driver's LPT status request), 0x20 paper out, 0x10 selected, 0x08 no error, the last
// two active low: paper out gives PaperEmpty; otherwise not selected or an error gives OffLine.
uint8_t PrinterStatusFromPortStatus(int APortStatus);

// A USB printer opened by its device path (/dev/usb/lpN; on Windows the printer's device
// interface path). The same logic serves both systems; only the device calls differ. A write
// returns once the device has taken every byte, or fails within its bounds: no progress for the
// write window (1000 ms) gives 1007, a write still unfinished after the write wait (60 s in all)
// is cancelled with 1001. The device status is polled while the write goes on; reads are
// bounded. Operations answer a result code (0, 1001, 1007, 1008, 1009, 1011) and leave a text in
// LastErrorDescription().
// Any other device works too (a pseudo-terminal or a pipe in tests): its status request fails
// and is skipped.
class TPrinterPort {
public:
    // AIo: the device's system calls; the real ones unless a test puts a device behind them.
    explicit TPrinterPort(std::shared_ptr<TUsbDeviceIo> AIo = SystemUsbDeviceIo()) : FIo(std::move(AIo)) {}
    virtual ~TPrinterPort() { ClosePort(); }
    TPrinterPort(const TPrinterPort&) = delete;
    TPrinterPort& operator=(const TPrinterPort&) = delete;

    static constexpr uint32_t kReadTimeOutMs = 500;
    static constexpr size_t kReadPieceSize = 2048;
    static constexpr int kFaultBackOffMs = 100;
    // Each write hands the device at most this much (a transfer of the Linux printer driver), so
    // that progress shows within the write window on every system.
    static constexpr size_t kWritePieceSize = 8192;

    // A second open while open answers 0.
    int OpenPort(bool AOverlappedMode);
    int SendToPort(const std::string& AData, bool AOverlappedMode);
    // One read of at most ACount bytes that must begin within 500 ms; fewer bytes are fine.
    int ReadFromPort(int ACount, std::string& AData, bool AOverlappedMode);
    // Reads of up to 2048 bytes, each allowed 500 ms, until one brings nothing; a silent
    // printer answers 0 with empty data.
    int ReadFromPort(std::string& AData, bool AOverlappedMode);
    // The printer's reply: waits until data arrives or ADeadline passes, then the counted read.
    // Back the moment the printer answers; silence until ADeadline gives no data and no failure.
    int ReadFromPortWithin(int ACount, std::string& AData, TDeadline ADeadline);
    // Waits, within the write window, until the device has taken a write still in flight.
    void FlushBuffers();
    // Never discards data the device is still taking (within the write window).
    void ClosePort();

    bool Opened() const { return FDevice != nullptr; }
    const std::string& PortName() const { return FPortName; }
    void SetPortName(std::string AValue) { FPortName = std::move(AValue); }
    TPrintInterfaceType InterfaceType() const { return FInterfaceType; }
    void SetInterfaceType(TPrintInterfaceType AValue) { FInterfaceType = AValue; }
    const std::string& LastErrorDescription() const { return FLastErrorDescription; }
    // The system error of the last failed open (0 after a successful one).
    int LastOpenError() const { return FLastOpenError; }
    // The progress window: a write ends unfinished this long after the last progress or
    // status change.
    uint32_t WriteTimeOut() const { return FWriteTimeOut; }
    void SetWriteTimeOut(uint32_t AMs) { FWriteTimeOut = AMs; }
    // How long one write may take in all before it is cancelled.
    uint32_t WriteWaitTimeOut() const { return FWriteWaitTimeOut; }
    void SetWriteWaitTimeOut(uint32_t AMs) { FWriteWaitTimeOut = AMs; }

protected:
    // The device status byte; false when the device answers no status request.
    virtual bool QueryPrinterStatus(uint8_t& AStatus);

private:
    // Code 1001 with the system text of AError.
    int SystemFailure(int AError);
    // Queries the status: a change moves ADeadline; answers the code of the first fault bit.
    int CheckStatus(uint8_t& ALastStatus, TDeadline& ADeadline);
    // Closes the device; a write in flight is cancelled.
    void CloseHandle();

    std::shared_ptr<TUsbDeviceIo> FIo;
    std::unique_ptr<TUsbDevice> FDevice;  // the open device: ClosePort and the destructor close it
    bool FWriteInFlight = false;          // handed to the device, not yet taken
    std::string FPortName;
    TPrintInterfaceType FInterfaceType = TPrintInterfaceType::itUSBPrint;
    std::string FLastErrorDescription;
    int FLastOpenError = 0;
    uint32_t FWriteTimeOut = 1000;
    uint32_t FWriteWaitTimeOut = 60000;
};

}  // namespace quorvane
