#include "transport/usb_device_io.h"

#include <fcntl.h>
#include <linux/lp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "transport/posix_io.h"

namespace quorvane {

namespace {

// The kernel's printer class device, opened non-blocking: write() hands a transfer to the
// device and returns at once; POLLOUT says the device has taken it.
class TPosixUsbDevice final : public TUsbDevice {
public:
    explicit TPosixUsbDevice(int AFd) : FFd(AFd) {}
    // close() is not retried on EINTR: on Linux the descriptor is gone either way.
    ~TPosixUsbDevice() override { ::close(FFd); }
    TPosixUsbDevice(const TPosixUsbDevice&) = delete;
    TPosixUsbDevice& operator=(const TPosixUsbDevice&) = delete;

    TUsbIoResult StartWrite(const char* AData, size_t ACount) override {
        for (;;) {
            const ssize_t n = ::write(FFd, AData, ACount);
            if (n >= 0) {
                FHandedOver = static_cast<size_t>(n);
                return TUsbIoResult::Ok(FHandedOver);
            }
            // The device still takes an earlier transfer: nothing handed over yet.
            if (errno == EAGAIN) {
                FHandedOver = 0;
                return TUsbIoResult::Ok(0);
            }
            if (errno != EINTR) return TUsbIoResult::Fail(errno);
        }
    }

    TUsbIoResult WaitWritten(TDeadline ADeadline) override {
        const int events = WaitReady(FFd, POLLOUT, ADeadline);
        if (events < 0) return TUsbIoResult::Fail(errno);
        if (events & POLLOUT) {
            const size_t taken = FHandedOver;
            FHandedOver = 0;
            return TUsbIoResult::Ok(taken);
        }
        if (events & (POLLERR | POLLHUP)) return TUsbIoResult::Fail(EIO);
        return TUsbIoResult::Late();
    }

    TUsbIoResult Read(char* AData, size_t ACount, TDeadline ADeadline) override {
        const int events = WaitReady(FFd, POLLIN, ADeadline);
        if (events < 0) return TUsbIoResult::Fail(errno);
        if (events == 0) return TUsbIoResult::Late();
        ssize_t n = ::read(FFd, AData, ACount);
        if (n < 0 && errno != EAGAIN && errno != EINTR) return TUsbIoResult::Fail(errno);
        if (n < 0) n = 0;
        // The device went away (a hung-up terminal reads as end of file): no answer is a failure.
        if (n == 0 && (events & (POLLHUP | POLLERR))) return TUsbIoResult::Fail(EIO);
        return TUsbIoResult::Ok(static_cast<size_t>(n));
    }

    bool PortStatus(int& AStatus) override { return ::ioctl(FFd, LPGETSTATUS, &AStatus) == 0; }

private:
    int FFd;
    size_t FHandedOver = 0;
};

class TSystemUsbDeviceIo final : public TUsbDeviceIo {
public:
    std::unique_ptr<TUsbDevice> Open(const std::string& APath, int& AError) override {
        const int fd = ::open(APath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            AError = errno;
            return nullptr;
        }
        auto device = std::make_unique<TPosixUsbDevice>(fd);
        // Judged by what was opened, not by its name: a regular file (a system file, say)
        // must never receive the status query or a label. Links to a device stay usable.
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
            AError = ENOTTY;
            return nullptr;
        }
        // A terminal standing in for the printer must pass every byte unchanged.
        termios tio{};
        if (::isatty(fd) && ::tcgetattr(fd, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(fd, TCSANOW, &tio);
        }
        return device;
    }
    TDeadline Now() override { return TClock::now(); }
    void BackOff(std::chrono::milliseconds ADuration) override { std::this_thread::sleep_for(ADuration); }
};

}  // namespace

std::shared_ptr<TUsbDeviceIo> SystemUsbDeviceIo() {
    static const std::shared_ptr<TUsbDeviceIo> io = std::make_shared<TSystemUsbDeviceIo>();
    return io;
}

}  // namespace quorvane
