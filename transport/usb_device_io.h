#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "transport/deadline.h"

namespace quorvane {

// How a device request ended. Error is an errno number on every system (the Windows twin
// translates its codes), so that one table gives the texts people read.
struct TUsbIoResult {
    enum TState { Done, TimedOut, Failed };
    TState State = Done;
    size_t Count = 0;  // Done: bytes handed over, taken or read
    int Error = 0;     // Failed: why

    static TUsbIoResult Ok(size_t ACount) { return {Done, ACount, 0}; }
    static TUsbIoResult Late() { return {TimedOut, 0, 0}; }
    static TUsbIoResult Fail(int AError) { return {Failed, 0, AError}; }
};

// One open USB printer device. At most one write is in flight at a time: StartWrite hands it to
// the device, WaitWritten learns when the device has taken it. Destroying the device closes it;
// a write still in flight is cancelled and its bytes never reach the printer.
class TUsbDevice {
public:
    virtual ~TUsbDevice() = default;

    // Hands the device AData (the device may keep a copy). Done with the count handed over, which
    // may be fewer bytes than given, or 0 while an earlier write is still being taken.
    virtual TUsbIoResult StartWrite(const char* AData, size_t ACount) = 0;
    // Waits until nothing is in flight or ADeadline passes: Done with the count the device took
    // of the write in flight, TimedOut while it is still taking it.
    virtual TUsbIoResult WaitWritten(TDeadline ADeadline) = 0;
    // At most ACount bytes the printer sent, waited for until ADeadline; Done may carry 0.
    virtual TUsbIoResult Read(char* AData, size_t ACount, TDeadline ADeadline) = 0;
    // The USB printer class port status byte (0x20 paper empty, 0x10 selected, 0x08 no error);
    // false when the device answers no status request.
    virtual bool PortStatus(int& AStatus) = 0;
};

// The system side of the USB printer channel: the devices, the clock its deadlines are measured
// on, and its pause. Tests put a device that behaves as the system's printer driver behind it.
class TUsbDeviceIo {
public:
    virtual ~TUsbDeviceIo() = default;

    // Opens APath for reading and writing; nullptr with AError (an errno number) on failure.
    virtual std::unique_ptr<TUsbDevice> Open(const std::string& APath, int& AError) = 0;
    virtual TDeadline Now() = 0;
    // The back-off while the printer is in a fault state; on Windows the thread's window
    // messages are dispatched meanwhile, so the host's windows keep working.
    virtual void BackOff(std::chrono::milliseconds ADuration) = 0;
};

// The real devices and the steady clock.
std::shared_ptr<TUsbDeviceIo> SystemUsbDeviceIo();

}  // namespace quorvane
