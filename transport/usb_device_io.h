#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "transport/deadline.h"

namespace quorvane {

// The system calls of the USB printer channel. Behind it sits the kernel's printer class device
// (or, in tests, a device that behaves as that driver is documented to). Answers follow the
// POSIX calls: -1 with errno on failure.
class TUsbDeviceIo {
public:
    virtual ~TUsbDeviceIo() = default;

    // Opens APath for reading and writing, non-blocking; a descriptor or -1.
    virtual int Open(const std::string& APath) = 0;
    virtual std::ptrdiff_t Write(int AFd, const char* AData, size_t ACount) = 0;
    virtual std::ptrdiff_t Read(int AFd, char* AData, size_t ACount) = 0;
    // Waits until AFd reports one of AEvents or ADeadline passes, as WaitReady answers.
    virtual int Poll(int AFd, short AEvents, TDeadline ADeadline) = 0;
    // The printer class port status byte (LPGETSTATUS); -1 when the device has none.
    virtual int GetPortStatus(int AFd, int& AStatus) = 0;
    // Closing cancels a write the device has not finished taking.
    virtual void Close(int AFd) = 0;
    // The clock the channel's deadlines are measured on, and its pause.
    virtual TDeadline Now() = 0;
    virtual void Sleep(std::chrono::milliseconds ADuration) = 0;
};

// The real system calls and the steady clock.
std::shared_ptr<TUsbDeviceIo> SystemUsbDeviceIo();

}  // namespace quorvane
