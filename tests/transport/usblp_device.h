#pragma once

// A USB printer behind the kernel's printer class driver (usblp), as that driver is documented
// to behave towards a program that opened it non-blocking:
// - write() submits one transfer of at most 8192 bytes and returns its length at once; the
//   transfer completes later; while it is in flight a further write() fails with EAGAIN;
// - poll() reports POLLOUT only when no transfer is in flight, POLLIN when the printer has
//   answered; read() without an answer fails with EAGAIN;
// - close() kills a transfer still in flight: its bytes never reach the printer;
// - LPGETSTATUS answers the port status the test scripts;
// - one opener at a time (EBUSY).

#include "tests/transport/simulated_usb_printer.h"

namespace quorvane::test {

class TUsblpDevice : public TSimulatedUsbPrinter {
public:
    static constexpr size_t kTransferSize = 8192;  // usblp's write buffer

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
        explicit TOpened(TUsblpDevice& ADevice) : FDevice(ADevice) {}
        ~TOpened() override { FDevice.Disconnect(); }

        // write(): EAGAIN while a transfer is in flight.
        TUsbIoResult StartWrite(const char* AData, size_t ACount) override {
            FDevice.Complete();
            if (FDevice.FInFlight) {
                FHandedOver = 0;
                return TUsbIoResult::Ok(0);
            }
            FHandedOver = std::min(ACount, kTransferSize);
            FDevice.Submit(std::string(AData, FHandedOver));
            return TUsbIoResult::Ok(FHandedOver);
        }
        // poll(POLLOUT)
        TUsbIoResult WaitWritten(TDeadline ADeadline) override {
            if (!FDevice.RunUntil([&] { return !FDevice.FInFlight; }, ADeadline)) return TUsbIoResult::Late();
            const size_t taken = FHandedOver;
            FHandedOver = 0;
            return TUsbIoResult::Ok(taken);
        }
        // poll(POLLIN), then read()
        TUsbIoResult Read(char* AData, size_t ACount, TDeadline ADeadline) override {
            if (!FDevice.RunUntil([&] { return !FDevice.FReplies.empty(); }, ADeadline))
                return TUsbIoResult::Late();
            return TUsbIoResult::Ok(FDevice.TakeReplies(AData, ACount));
        }
        // LPGETSTATUS
        bool PortStatus(int& AStatus) override {
            AStatus = FDevice.NextPortStatus();
            return true;
        }

    private:
        TUsblpDevice& FDevice;
        size_t FHandedOver = 0;
    };
};

}  // namespace quorvane::test
