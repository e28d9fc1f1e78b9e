#include "transport/printer_port.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

#include "errors/messages.h"

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

int TPrinterPort::SystemFailure() {
    FLastErrorDescription = SystemErrorText();
    return 1001;
}

int TPrinterPort::OpenPort(bool AOverlappedMode) {
    (void)AOverlappedMode;  // every wait here is a bounded poll()
    FLastErrorDescription.clear();
    FLastOpenError = 0;
    if (Opened()) return 0;
    FFd = FIo->Open(FPortName);
    if (FFd < 0) {
        FFd = -1;
        FLastOpenError = errno;
        FLastErrorDescription = SystemErrorText();
        return 1011;
    }
    return 0;
}

bool TPrinterPort::QueryPrinterStatus(uint8_t& AStatus) {
    AStatus = 0;
    int status = 0;
    if (!Opened() || FIo->GetPortStatus(FFd, status) != 0) return false;
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
    if (!Opened()) {
        // Nothing to wait for on a closed port: fail at once, as the first write would.
        errno = EBADF;
        return SystemFailure();
    }
    // The printer class device answers a non-blocking write once it has handed the bytes to
    // the device, and reports POLLOUT only when the device has taken them: bytes count as sent
    // only then.
    int code = 0;
    std::string writeFailure;  // the system's reason, unless the status later names a better one
    size_t taken = 0;
    size_t handedOver = 0;
    bool polling = false;
    uint8_t lastStatus = 0xFF;
    const TDeadline limit = FIo->Now() + Ms(FWriteWaitTimeOut);
    TDeadline deadline = FIo->Now() + Ms(FWriteTimeOut);
    while (FIo->Now() < deadline && FIo->Now() < limit) {
        FLastErrorDescription.clear();
        if (FWriteInFlight) {
            // Waited in slices, so that the status is watched while the device is slow.
            const TDeadline slice = std::min({FIo->Now() + Ms(kFaultBackOffMs), deadline, limit});
            const int events = FIo->Poll(FFd, POLLOUT, slice);
            if (events < 0) return SystemFailure();
            if (events & POLLOUT) {
                FWriteInFlight = false;
                if (handedOver > 0) deadline = FIo->Now() + Ms(FWriteTimeOut);
                taken += handedOver;
                handedOver = 0;
            } else if (events & (POLLERR | POLLHUP)) {
                errno = EIO;
                return SystemFailure();
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
            FIo->Sleep(Ms(kFaultBackOffMs));
            continue;
        }
        const ssize_t n = FIo->Write(FFd, AData.data() + taken, AData.size() - taken);
        if (n > 0) handedOver = static_cast<size_t>(n);
        if (n > 0 || (n < 0 && errno == EAGAIN))
            FWriteInFlight = true;
        else if (n < 0 && errno != EINTR) {
            code = SystemFailure();
            writeFailure = FLastErrorDescription;
        }
        polling = true;
    }
    if (code == 0 && FWriteInFlight && FIo->Now() >= limit) {
        // The device kept taking data too slowly to finish in time: closing is the one way to
        // cancel the write in flight.
        CloseHandle();
        FLastErrorDescription = SystemErrorText(ETIME);
        return 1001;
    }
    if (code != 0 && FLastErrorDescription.empty()) FLastErrorDescription = writeFailure;
    return code != 0 ? code : 1007;
}

int TPrinterPort::ReadFromPort(int ACount, std::string& AData, bool AOverlappedMode) {
    AData.clear();
    if (!Opened()) {
        errno = EBADF;
        return SystemFailure();
    }
    const int events = FIo->Poll(FFd, POLLIN, FIo->Now() + Ms(kReadTimeOutMs));
    if (events < 0) return SystemFailure();
    if (events == 0) {
        FLastErrorDescription = kNoDataText;
        return 1001;
    }
    std::string buffer(static_cast<size_t>(ACount > 0 ? ACount : 0), '\0');
    ssize_t n = FIo->Read(FFd, buffer.data(), buffer.size());
    if (n < 0 && errno != EAGAIN && errno != EINTR) return SystemFailure();
    if (n < 0) n = 0;
    if (n == 0 && (events & (POLLHUP | POLLERR))) {
        // The device went away (a hung-up terminal reads as end of file): no answer is a failure.
        errno = EIO;
        return SystemFailure();
    }
    if (n == 0 && !AOverlappedMode) {
        FLastErrorDescription = kNoDataText;
        return 1001;
    }
    buffer.resize(static_cast<size_t>(n));
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
            errno = EBADF;
            SystemFailure();
            break;
        }
        const int events = FIo->Poll(FFd, POLLIN, FIo->Now() + Ms(kReadTimeOutMs));
        if (events == 0) {
            code = 0;  // silence ends the reply
            break;
        }
        if (events < 0) {
            SystemFailure();
            break;
        }
        char piece[kReadPieceSize];
        const ssize_t n = FIo->Read(FFd, piece, sizeof piece);
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            SystemFailure();
            break;
        }
        if (n == 0 && (events & (POLLHUP | POLLERR))) {
            errno = EIO;
            SystemFailure();
            break;
        }
        code = 0;
        if (n <= 0) break;
        gathered.append(piece, static_cast<size_t>(n));
    }
    if (code == 0) AData = std::move(gathered);
    return code;
}

int TPrinterPort::ReadFromPortWithin(int ACount, std::string& AData, TDeadline ADeadline) {
    AData.clear();
    if (!Opened()) {
        errno = EBADF;
        return SystemFailure();
    }
    const int events = FIo->Poll(FFd, POLLIN, FIo->Now() + (ADeadline - TClock::now()));
    if (events < 0) return SystemFailure();
    // A printer that says nothing is no fault of the device; one that went away is.
    if (events == 0) return 0;
    return ReadFromPort(ACount, AData, true);
}

void TPrinterPort::FlushBuffers() {
    // The printer class device ignores fsync; what it holds is a write in flight, which
    // closing would cancel.
    if (!Opened() || !FWriteInFlight) return;
    TDeadline deadline = FIo->Now() + Ms(FWriteTimeOut);
    while (FIo->Now() < deadline) {
        const int events = FIo->Poll(FFd, POLLOUT, deadline);
        if (events < 0 || (events & (POLLOUT | POLLERR | POLLHUP))) break;
    }
    FWriteInFlight = false;
}

void TPrinterPort::CloseHandle() {
    FIo->Close(FFd);
    FFd = -1;
    FWriteInFlight = false;
}

void TPrinterPort::ClosePort() {
    if (!Opened()) return;
    FlushBuffers();
    CloseHandle();
}

}  // namespace quorvane
