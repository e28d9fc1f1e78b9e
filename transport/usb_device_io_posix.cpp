#include "transport/usb_device_io.h"

#include <fcntl.h>
#include <linux/lp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "transport/posix_io.h"

namespace quorvane {

namespace {

class TSystemUsbDeviceIo final : public TUsbDeviceIo {
public:
    int Open(const std::string& APath) override {
        const int fd = ::open(APath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return fd;
        // Judged by what was opened, not by its name: a regular file (a system file, say)
        // must never receive the status query or a label. Links to a device stay usable.
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
            ::close(fd);
            errno = ENOTTY;
            return -1;
        }
        // A terminal standing in for the printer must pass every byte unchanged.
        termios tio{};
        if (::isatty(fd) && ::tcgetattr(fd, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(fd, TCSANOW, &tio);
        }
        return fd;
    }
    std::ptrdiff_t Write(int AFd, const char* AData, size_t ACount) override {
        return ::write(AFd, AData, ACount);
    }
    std::ptrdiff_t Read(int AFd, char* AData, size_t ACount) override { return ::read(AFd, AData, ACount); }
    int Poll(int AFd, short AEvents, TDeadline ADeadline) override {
        return WaitReady(AFd, AEvents, ADeadline);
    }
    int GetPortStatus(int AFd, int& AStatus) override { return ::ioctl(AFd, LPGETSTATUS, &AStatus); }
    void Close(int AFd) override {
        // close() is not retried on EINTR: on Linux the descriptor is gone either way.
        ::close(AFd);
    }
    TDeadline Now() override { return TClock::now(); }
    void Sleep(std::chrono::milliseconds ADuration) override { std::this_thread::sleep_for(ADuration); }
};

}  // namespace

std::shared_ptr<TUsbDeviceIo> SystemUsbDeviceIo() {
    static const std::shared_ptr<TUsbDeviceIo> io = std::make_shared<TSystemUsbDeviceIo>();
    return io;
}

}  // namespace quorvane
