#include "transport/printer_port.h"

#include <algorithm>
#include <cerrno>

#include "errors/messages.h"
#include "errors/system_errors.h"

namespace quorvane {

namespace {

const char* const kNoDataText = MessageText(TMessage::NoDataInBuffer);
const char* const kNotConnectedText = MessageText(TMessage::PrinterNotConnected);
const char* const kNoPaperText = MessageText(TMessage::NoPaper);

constexpr int kPortPaperOut = 0x20;
constexpr int kPortSelected = 0x10;
constexpr int kPortNoError = 0x08;

std::chrono::milliseconds Ms(uint32_t AValue) { return std::chrono::milliseconds(AValue); }

}  // namespace

uint8_t PrinterStatusFromPortStatus(int APortStatus) {
    if (APortStatus & kPortPaperOut) return PrinterStatus::PaperEmpty;
    if (!(APortStatus & kPortSelected) || !(APortStatus & kPortNoError)) return PrinterStatus::OffLine;
    return 0;
}

int TPrinterPort::SystemFailure(int AError) {
    FLastErrorDescription = SystemErrorText(AError);
    return 1001;
}

int TPrinterPort::OpenPort(bool AOverlappedMode) {
    (void)AOverlappedMode;  // every wait here is bounded
    FLastErrorDescription.clear();
    FLastOpenError = 0;
    if (Opened()) return 0;
    int error = 0;
    FDevice = FIo->Open(FPortName, error);
    if (!FDevice) {
        FLastOpenError = error != 0 ? error : EIO;
        FLastErrorDescription = SystemErrorText(FLastOpenError);
        return 1011;
    }
    return 0;
}

bool TPrinterPort::QueryPrinterStatus(uint8_t& AStatus) {
    AStatus = 0;
    int status = 0;
    if (!Opened() || !FDevice->PortStatus(status)) return false;
    AStatus = PrinterStatusFromPortStatus(status);
    return true;
}

int TPrinterPort::CheckStatus(uint8_t& ALastStatus, TDeadline& ADeadline) {
    uint8_t status = 0;
    if (!QueryPrinterStatus(status)) return 0;
    if (status != ALastStatus) {
        ADeadline = FIo->Now() + Ms(FWriteTimeOut);
        ALastStatus = status;
    }
    if (status & PrinterStatus::PowerOff) return 1008;
    if (status & PrinterStatus::NotConnected) {
        FLastErrorDescription = kNotConnectedText;
        return 1001;
    }
    if (status & PrinterStatus::Busy) return 1009;
    if (status & PrinterStatus::OffLine) return 1008;
    if (status & PrinterStatus::PaperEmpty) {
        FLastErrorDescription = kNoPaperText;
        return 1001;
    }
    return 0;
}

int TPrinterPort::SendToPort(const std::string& AData, bool AOverlappedMode) {
    (void)AOverlappedMode;
    FLastErrorDescription.clear();
    if (AData.empty()) return 0;
    // Nothing to wait for on a closed port: fail at once, as the first write would.
    if (!Opened()) return SystemFailure(EBADF);
    // A write is handed to the device and completes later, when the device has taken it: bytes
    // count as sent only then.
    int code = 0;
    std::string writeFailure;  // the system's reason, unless the status later names a better one
    size_t taken = 0;
    bool polling = false;
    uint8_t lastStatus = 0xFF;
    const TDeadline limit = FIo->Now() + Ms(FWriteWaitTimeOut);
    TDeadline deadline = FIo->Now() + Ms(FWriteTimeOut);
    while (FIo->Now() < deadline && FIo->Now() < limit) {
        FLastErrorDescription.clear();
        if (FWriteInFlight) {
            // Waited in slices, so that the status is watched while the device is slow.
            const TDeadline slice = std::min({FIo->Now() + Ms(kFaultBackOffMs), deadline, limit});
            const TUsbIoResult written = FDevice->WaitWritten(slice);
            if (written.State == TUsbIoResult::Failed) return SystemFailure(written.Error);
            if (written.State == TUsbIoResult::Done) {
                FWriteInFlight = false;
                if (written.Count > 0) deadline = FIo->Now() + Ms(FWriteTimeOut);
                taken += written.Count;
            }
        }
        if (taken == AData.size()) return 0;
        if (polling) {
            // Once anything went wrong nothing more is written; the loop only watches the
            // status until the window closes.
            if (const int fault = CheckStatus(lastStatus, deadline); fault != 0) code = fault;
        }
        if (FWriteInFlight) continue;
        if (code != 0) {
            FIo->BackOff(Ms(kFaultBackOffMs));
            continue;
        }
        const TUsbIoResult started =
            FDevice->StartWrite(AData.data() + taken, std::min(AData.size() - taken, kWritePieceSize));
        if (started.State == TUsbIoResult::Done) {
            FWriteInFlight = true;
        } else {
            code = SystemFailure(started.Error);
            writeFailure = FLastErrorDescription;
        }
        polling = true;
    }
    if (code == 0 && FWriteInFlight && FIo->Now() >= limit) {
        // The device kept taking data too slowly to finish in time: closing cancels the write
        // in flight.
        CloseHandle();
        FLastErrorDescription = SystemErrorText(ETIME);
        return 1001;
    }
    if (code != 0 && FLastErrorDescription.empty()) FLastErrorDescription = writeFailure;
    return code != 0 ? code : 1007;
}

int TPrinterPort::ReadFromPort(int ACount, std::string& AData, bool AOverlappedMode) {
    AData.clear();
    if (!Opened()) return SystemFailure(EBADF);
    std::string buffer(static_cast<size_t>(ACount > 0 ? ACount : 0), '\0');
    const TUsbIoResult read = FDevice->Read(buffer.data(), buffer.size(), FIo->Now() + Ms(kReadTimeOutMs));
    if (read.State == TUsbIoResult::Failed) return SystemFailure(read.Error);
    if (read.State == TUsbIoResult::TimedOut || (read.Count == 0 && !AOverlappedMode)) {
        FLastErrorDescription = kNoDataText;
        return 1001;
    }
    buffer.resize(read.Count);
    AData = std::move(buffer);
    return 0;
}

int TPrinterPort::ReadFromPort(std::string& AData, bool AOverlappedMode) {
    (void)AOverlappedMode;
    AData.clear();
    std::string gathered;
    int code = 1001;
    for (;;) {
        code = 1001;
        if (!Opened()) {
            SystemFailure(EBADF);
            break;
        }
        char piece[kReadPieceSize];
        const TUsbIoResult read = FDevice->Read(piece, sizeof piece, FIo->Now() + Ms(kReadTimeOutMs));
        if (read.State == TUsbIoResult::Failed) {
            SystemFailure(read.Error);
            break;
        }
        code = 0;  // silence ends the reply
        if (read.State == TUsbIoResult::TimedOut || read.Count == 0) break;
        gathered.append(piece, read.Count);
    }
    if (code == 0) AData = std::move(gathered);
    return code;
}

int TPrinterPort::ReadFromPortWithin(int ACount, std::string& AData, TDeadline ADeadline) {
    AData.clear();
    if (!Opened()) return SystemFailure(EBADF);
    std::string buffer(static_cast<size_t>(ACount > 0 ? ACount : 0), '\0');
    // ADeadline is on the steady clock; the device's may be another (simulated in tests).
    const TUsbIoResult read =
        FDevice->Read(buffer.data(), buffer.size(), FIo->Now() + (ADeadline - TClock::now()));
    if (read.State == TUsbIoResult::Failed) return SystemFailure(read.Error);
    // A printer that says nothing is no fault of the device; one that went away is.
    if (read.State == TUsbIoResult::TimedOut) return 0;
    buffer.resize(read.Count);
    AData = std::move(buffer);
    return 0;
}

void TPrinterPort::FlushBuffers() {
    // What the device holds is a write in flight, which closing would cancel.
    if (!Opened() || !FWriteInFlight) return;
    const TDeadline deadline = FIo->Now() + Ms(FWriteTimeOut);
    while (FIo->Now() < deadline)
        if (FDevice->WaitWritten(deadline).State != TUsbIoResult::TimedOut) break;
    FWriteInFlight = false;
}

void TPrinterPort::CloseHandle() {
    FDevice.reset();
    FWriteInFlight = false;
}

void TPrinterPort::ClosePort() {
    if (!Opened()) return;
    FlushBuffers();
    CloseHandle();
}

}  // namespace quorvane
