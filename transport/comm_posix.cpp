#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "posix/file_descriptor.h"
#include "transport/comm.h"
#include "transport/posix_io.h"
#include "transport/serial_line_posix.h"
#include "transport/serial_speed.h"

namespace quorvane {

// The open terminal.
struct TSerialDevice {
    TFileDescriptor Fd;
};

namespace {

std::chrono::milliseconds Ms(uint64_t AValue) { return std::chrono::milliseconds(AValue); }

// The B-constant of a rate; 0 for rates without one, set through the exact-speed path.
speed_t SpeedConstant(int ARate) {
    switch (ARate) {
        case 110: return B110;
        case 300: return B300;
        case 600: return B600;
        case 1200: return B1200;
        case 2400: return B2400;
        case 4800: return B4800;
        case 9600: return B9600;
        case 19200: return B19200;
        case 38400: return B38400;
        case 57600: return B57600;
        case 115200: return B115200;
        default: return 0;
    }
}

}  // namespace

TComm::TComm() = default;
TComm::~TComm() { Close(); }

bool TComm::OpenDevice(const std::string& APath) {
    TFileDescriptor fd(::open(APath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.Valid()) return false;
    // Only a terminal is a serial port; isatty leaves ENOTTY for anything else.
    if (!::isatty(fd.Get())) return false;
    // Not shared: later opens of the terminal get EBUSY.
    if (::ioctl(fd.Get(), TIOCEXCL) != 0) return false;
    FDevice = std::make_unique<TSerialDevice>();
    FDevice->Fd = std::move(fd);
    return true;
}

int TComm::WaitInput(TDeadline ADeadline) {
    if (!Opened()) {
        errno = EBADF;
        return -1;
    }
    return WaitReady(FDevice->Fd.Get(), POLLIN, ADeadline);
}

long TComm::ReadQueued(char* ABuffer, size_t ACount) {
    return static_cast<long>(::read(FDevice->Fd.Get(), ABuffer, ACount));
}

std::string TComm::PortPath(int APortNumber) {
    const std::string variable = "QUORVANE_COM" + std::to_string(APortNumber);
    if (const char* path = std::getenv(variable.c_str()); path && *path) return path;
    if (APortNumber >= 1 && APortNumber <= 64) return "/dev/ttyS" + std::to_string(APortNumber - 1);
    if (APortNumber >= 65 && APortNumber <= 96) return "/dev/ttyUSB" + std::to_string(APortNumber - 65);
    if (APortNumber >= 97 && APortNumber <= 128) return "/dev/ttyACM" + std::to_string(APortNumber - 97);
    return {};
}

void TComm::ReleaseHandle() {
    if (!Opened()) return;
    // The exclusive mark stays on the terminal while anyone else holds it (a pty's other end).
    ::ioctl(FDevice->Fd.Get(), TIOCNXCL);
    FDevice.reset();
}

bool ComposeLineSettings(const TComm& AComm, termios& ATio) {
    int rateValue = 0;
    const bool knownRate = TComm::RateOf(AComm.BaudRate(), rateValue);
    const speed_t constant = SpeedConstant(rateValue);
    const uint8_t dataBits = AComm.DataBits();
    const TParity parity = AComm.Parity();
    const TFlowControl& flow = AComm.FlowControl();
    if (dataBits < 5 || dataBits > 8 || static_cast<int>(parity) > 4 ||
        static_cast<int>(AComm.StopBits()) > 2 || !knownRate) {
        errno = EINVAL;
        return false;
    }
    // Binary mode: no line editing, echo or character translation in either direction.
    ::cfmakeraw(&ATio);
    ATio.c_iflag &= ~static_cast<tcflag_t>(INPCK | IXON | IXOFF | IXANY);
    ATio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    ATio.c_cflag |= CLOCAL | CREAD;
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    ATio.c_cflag |= kSizes[dataBits - 5];
    switch (parity) {
        case TParity::prNone: break;
        case TParity::prOdd: ATio.c_cflag |= PARENB | PARODD; break;
        case TParity::prEven: ATio.c_cflag |= PARENB; break;
        case TParity::prMark: ATio.c_cflag |= PARENB | CMSPAR | PARODD; break;
        case TParity::prSpace: ATio.c_cflag |= PARENB | CMSPAR; break;
    }
    if (parity != TParity::prNone) ATio.c_iflag |= INPCK;
    // One and a half stop bits exist only with 5 data bits, where the UART makes them of CSTOPB.
    if (AComm.StopBits() != TStopBits::sbOneStopBit) ATio.c_cflag |= CSTOPB;
    if (flow.FOutCtsFlow || flow.FControlRts == TControlRts::rtsHandshake) ATio.c_cflag |= CRTSCTS;
    if (flow.FXonXoffOut) ATio.c_iflag |= IXON;
    if (flow.FXonXoffIn) ATio.c_iflag |= IXOFF;
    ATio.c_cc[VSTART] = 17;
    ATio.c_cc[VSTOP] = 19;
    ATio.c_cc[VMIN] = 1;
    ATio.c_cc[VTIME] = 0;
    if (constant != 0) {
        ::cfsetispeed(&ATio, constant);
        ::cfsetospeed(&ATio, constant);
    }
    return true;
}

bool TComm::ApplyLineSettings() {
    if (!Opened()) return true;
    const int fd = FDevice->Fd.Get();
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0 || !ComposeLineSettings(*this, tio)) return RecordSystemError();
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) return RecordSystemError();
    const int rate = BaudRateAsInt();
    if (SpeedConstant(rate) == 0 && !SetTerminalSpeed(fd, static_cast<unsigned>(rate)))
        return RecordSystemError();
    // Modem lines: a pseudo-terminal has none, so their failure is no failure of the settings.
    int dtr = TIOCM_DTR, rts = TIOCM_RTS;
    ::ioctl(fd, FFlowControl.FControlDtr == TControlDtr::dtrDisable ? TIOCMBIC : TIOCMBIS, &dtr);
    if (FFlowControl.FControlRts != TControlRts::rtsHandshake)
        ::ioctl(fd, FFlowControl.FControlRts == TControlRts::rtsDisable ? TIOCMBIC : TIOCMBIS, &rts);
    return true;
}

bool TComm::Close() {
    if (Opened()) {
        if (FOverlappedMode) StopEventWaiting();
        // Dropping DTR fails on a terminal without modem lines; closing goes on regardless and
        // leaves the text of the last real failure in place.
        int dtr = TIOCM_DTR;
        ::ioctl(FDevice->Fd.Get(), TIOCMBIC, &dtr);
        // Only the input: the tail of the last write may still wait in the output queue
        // (a write returns once the kernel has the bytes), and closing lets it drain.
        ::tcflush(FDevice->Fd.Get(), TCIFLUSH);
        ReleaseHandle();
    }
    return true;
}

bool TComm::Purge(bool AAbort) {
    if (!OpenOnDemand()) return false;
    // Nothing is ever pending in the background here, so aborting adds nothing to the flush.
    (void)AAbort;
    // The output queue is left alone: unlike a completed write on Windows, a completed write
    // here may still have bytes on their way to the printer, and dropping them cuts a label.
    if (::tcflush(FDevice->Fd.Get(), TCIFLUSH) != 0) return RecordSystemError();
    return true;
}

long TComm::TimedRead(char* ABuffer, size_t ACount) {
    if (!Opened()) {
        errno = EBADF;
        return -1;
    }
    if (ACount == 0) return 0;
    const TCommTimeouts& t = FTimeouts;
    const bool hasTotal = t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0;
    const bool returnAtOnce = t.ReadIntervalTimeout == TCommTimeouts::kNoWait && !hasTotal;
    const bool returnOnFirst = t.ReadIntervalTimeout == TCommTimeouts::kNoWait && hasTotal;
    const TDeadline forever = TDeadline::max();
    const TDeadline total =
        hasTotal
            ? DeadlineIn(Ms(uint64_t{t.ReadTotalTimeoutMultiplier} * ACount + t.ReadTotalTimeoutConstant))
            : forever;
    size_t got = 0;
    while (got < ACount) {
        TDeadline deadline = returnAtOnce ? TClock::now() : total;
        if (got > 0) {
            if (returnOnFirst) break;
            if (t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != TCommTimeouts::kNoWait)
                deadline = std::min(deadline, DeadlineIn(Ms(t.ReadIntervalTimeout)));
        }
        const int events = WaitReady(FDevice->Fd.Get(), POLLIN, deadline);
        if (events < 0) return -1;
        if (events == 0) break;
        const ssize_t n = ::read(FDevice->Fd.Get(), ABuffer + got, ACount - got);
        if (n > 0) {
            got += static_cast<size_t>(n);
        } else if (n == 0) {
            break;
        } else if (errno != EAGAIN && errno != EINTR) {
            return -1;
        }
    }
    return static_cast<long>(got);
}

long TComm::TimedWrite(const char* AData, size_t ACount) {
    if (!Opened()) {
        errno = EBADF;
        return -1;
    }
    const TCommTimeouts& t = FTimeouts;
    const bool hasTotal = t.WriteTotalTimeoutMultiplier != 0 || t.WriteTotalTimeoutConstant != 0;
    const TDeadline deadline =
        hasTotal
            ? DeadlineIn(Ms(uint64_t{t.WriteTotalTimeoutMultiplier} * ACount + t.WriteTotalTimeoutConstant))
            : TDeadline::max();
    size_t sent = 0;
    while (sent < ACount) {
        const ssize_t n = ::write(FDevice->Fd.Get(), AData + sent, ACount - sent);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return -1;
        const int events = WaitReady(FDevice->Fd.Get(), POLLOUT, deadline);
        if (events < 0) return -1;
        if (events == 0) break;
    }
    return static_cast<long>(sent);
}

int TComm::QueuedCount() const {
    int count = 0;
    if (!Opened() || ::ioctl(FDevice->Fd.Get(), FIONREAD, &count) != 0) return 0;
    return count;
}

bool TComm::SetCommDTR(bool AValue) {
    if (!OpenOnDemand()) return false;
    int line = TIOCM_DTR;
    if (::ioctl(FDevice->Fd.Get(), AValue ? TIOCMBIS : TIOCMBIC, &line) != 0) return RecordSystemError();
    return true;
}

bool TComm::SetCommRTS(bool AValue) {
    if (!OpenOnDemand()) return false;
    int line = TIOCM_RTS;
    if (::ioctl(FDevice->Fd.Get(), AValue ? TIOCMBIS : TIOCMBIC, &line) != 0) return RecordSystemError();
    return true;
}

}  // namespace quorvane
