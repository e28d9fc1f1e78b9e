#include "transport/printer_port.h"

#include <fcntl.h>
#include <linux/lp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace quorvane {

namespace {

const char* const kNoDataText = "Данные в буфере отсутствуют";
const char* const kNotConnectedText = "Принтер не подключен";
const char* const kNoPaperText = "Нет бумаги";

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
    if (Opened()) return 0;
    TFileDescriptor fd(::open(FPortName.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.Valid()) {
        FLastErrorDescription = SystemErrorText();
        return 1011;
    }
    // A terminal standing in for the printer must pass every byte unchanged.
    termios tio{};
    if (::isatty(fd.Get()) && ::tcgetattr(fd.Get(), &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(fd.Get(), TCSANOW, &tio);
    }
    FPortHandle = std::move(fd);
    return 0;
}

bool TPrinterPort::QueryPrinterStatus(uint8_t& AStatus) {
    AStatus = 0;
    int status = 0;
    if (!Opened() || ::ioctl(FPortHandle.Get(), LPGETSTATUS, &status) != 0) return false;
    AStatus = PrinterStatusFromPortStatus(status);
    return true;
}

int TPrinterPort::SendToPort(const std::string& AData, bool AOverlappedMode) {
    (void)AOverlappedMode;
    FLastErrorDescription.clear();
    if (!Opened() && !AData.empty()) {
        // Nothing to wait for on a closed port: fail at once, as the first write would.
        errno = EBADF;
        return SystemFailure();
    }
    int code = 0;
    size_t sent = 0;
    bool polling = false;
    uint8_t lastStatus = 0xFF;
    TDeadline deadline = DeadlineIn(Ms(FWriteTimeOut));
    while (sent < AData.size() && TClock::now() < deadline) {
        FLastErrorDescription.clear();
        uint8_t status = 0;
        if (polling && QueryPrinterStatus(status)) {
            if (status != lastStatus) {
                deadline = DeadlineIn(Ms(FWriteTimeOut));
                lastStatus = status;
            }
            if (status & PrinterStatus::PowerOff) {
                code = 1008;
            } else if (status & PrinterStatus::NotConnected) {
                code = 1001;
                FLastErrorDescription = kNotConnectedText;
            } else if (status & PrinterStatus::Busy) {
                code = 1009;
            } else if (status & PrinterStatus::OffLine) {
                code = 1008;
            } else if (status & PrinterStatus::PaperEmpty) {
                code = 1001;
                FLastErrorDescription = kNoPaperText;
            }
        }
        // Once anything went wrong nothing more is written; the loop only watches the status
        // until the window closes.
        if (code != 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kFaultBackOffMs));
            continue;
        }
        size_t written = 0;
        const int events = WaitReady(FPortHandle.Get(), POLLOUT, DeadlineIn(Ms(FWriteWaitTimeOut)));
        if (events < 0) {
            code = SystemFailure();
        } else if (events == 0) {
            code = 1001;
            FLastErrorDescription = SystemErrorText(ETIME);
        } else {
            const ssize_t n = ::write(FPortHandle.Get(), AData.data() + sent, AData.size() - sent);
            if (n > 0) written = static_cast<size_t>(n);
            else if (n < 0 && errno != EAGAIN && errno != EINTR) code = SystemFailure();
        }
        sent += written;
        polling = true;
        if (written > 0) deadline = DeadlineIn(Ms(FWriteTimeOut));
    }
    if (sent == AData.size()) return 0;
    return code != 0 ? code : 1007;
}

int TPrinterPort::ReadFromPort(int ACount, std::string& AData, bool AOverlappedMode) {
    AData.clear();
    if (!Opened()) {
        errno = EBADF;
        return SystemFailure();
    }
    const int events = WaitReady(FPortHandle.Get(), POLLIN, DeadlineIn(Ms(kReadTimeOutMs)));
    if (events < 0) return SystemFailure();
    if (events == 0) {
        FLastErrorDescription = kNoDataText;
        return 1001;
    }
    std::string buffer(static_cast<size_t>(ACount > 0 ? ACount : 0), '\0');
    ssize_t n = ::read(FPortHandle.Get(), buffer.data(), buffer.size());
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
        const int events = WaitReady(FPortHandle.Get(), POLLIN, DeadlineIn(Ms(kReadTimeOutMs)));
        if (events == 0) {
            code = 0;  // silence ends the reply
            break;
        }
        if (events < 0) {
            SystemFailure();
            break;
        }
        char piece[kReadPieceSize];
        const ssize_t n = ::read(FPortHandle.Get(), piece, sizeof piece);
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
    if (Opened()) WaitReady(FPortHandle.Get(), POLLIN, ADeadline);
    return ReadFromPort(ACount, AData, true);
}

void TPrinterPort::FlushBuffers() {
    // The printer class device keeps no file buffers; fsync only matters for other paths.
    if (Opened()) ::fsync(FPortHandle.Get());
}

void TPrinterPort::ClosePort() {
    if (!Opened()) return;
    FlushBuffers();
    FPortHandle.Reset();
}

}  // namespace quorvane
