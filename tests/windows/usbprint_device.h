#pragma once

// A USB printer behind Windows' USB printer class driver (usbprint), as it is documented to
// behave towards a program that opened the printer's device interface for overlapped I/O, seen
// through the channel's device calls (transport/usb_device_io_windows.cpp makes those calls):
// - WriteFile starts one request carrying all its bytes and answers ERROR_IO_PENDING; the request
//   completes later, when the printer has taken them, and GetOverlappedResult gives the count;
//   a new request waits for the one before it;
// - ReadFile stays pending until the printer answers; one still pending when its wait ends is
//   cancelled (CancelIoEx) and reads nothing;
// - IOCTL_USBPRINT_GET_LPT_STATUS answers the printer class port status byte the test scripts;
// - CancelIoEx and CloseHandle end a write still pending with ERROR_OPERATION_ABORTED: its bytes
//   never reach the printer;
// - the device interface has one opener at a time (ERROR_ACCESS_DENIED, reported as EBUSY).

#include "tests/transport/simulated_usb_printer.h"

namespace quorvane::test {

class TUsbPrintDevice : public TSimulatedUsbPrinter {
public:
    std::unique_ptr<TUsbDevice> Open(const std::string&, int& AError) override {
        if (OpenError != 0 || FOpen) {
            AError = OpenError != 0 ? OpenError : EBUSY;
            return nullptr;
        }
        FOpen = true;
        return std::make_unique<TOpened>(*this);
    }

private:
    class TOpened final : public TUsbDevice {
    public:
        explicit TOpened(TUsbPrintDevice& ADevice) : FDevice(ADevice) {}
        // CancelIoEx, then CloseHandle.
        ~TOpened() override { FDevice.Disconnect(); }

        // WriteFile: pending; the whole request is the printer's to take.
        TUsbIoResult StartWrite(const char* AData, size_t ACount) override {
            FDevice.Complete();
            if (FDevice.FInFlight) {
                FCounted = false;
                return TUsbIoResult::Ok(0);
            }
            FDevice.Submit(std::string(AData, ACount));
            FRequest = ACount;
            FCounted = true;
            return TUsbIoResult::Ok(ACount);
        }
        // WaitForSingleObject on the request's event, then GetOverlappedResult.
        TUsbIoResult WaitWritten(TDeadline ADeadline) override {
            if (!FDevice.RunUntil([&] { return !FDevice.FInFlight; }, ADeadline)) return TUsbIoResult::Late();
            const size_t taken = FCounted ? FRequest : 0;
            FRequest = 0;
            return TUsbIoResult::Ok(taken);
        }
        // ReadFile, its wait, and CancelIoEx when the wait ends first.
        TUsbIoResult Read(char* AData, size_t ACount, TDeadline ADeadline) override {
            if (!FDevice.RunUntil([&] { return !FDevice.FReplies.empty(); }, ADeadline))
                return TUsbIoResult::Late();
            return TUsbIoResult::Ok(FDevice.TakeReplies(AData, ACount));
        }
        // IOCTL_USBPRINT_GET_LPT_STATUS
        bool PortStatus(int& AStatus) override {
            AStatus = FDevice.NextPortStatus();
            return true;
        }

    private:
        TUsbPrintDevice& FDevice;
        size_t FRequest = 0;
        bool FCounted = true;
    };
};

}  // namespace quorvane::test
