#pragma once

// The printer end of a USB printer, in simulated time: waits and pauses move its clock instead
// of sleeping. What the system's printer driver does between the program and the printer is in
// the devices built on it (usblp_device.h for Linux, tests/windows/usbprint_device.h).
// The printer takes one transfer at a time, each taking TransferMs, and answers the status query
// ESC!? with a scripted byte.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "transport/usb_device_io.h"

namespace quorvane::test {

class TSimulatedUsbPrinter : public TUsbDeviceIo {
public:
    static constexpr int kNever = -1;

    // How long transfer number AIndex (from 0) takes, given the bytes the printer has so far;
    // kNever: the printer stops taking data.
    std::function<int(size_t AIndex, size_t AReceived)> TransferMs = [](size_t, size_t) { return 5; };
    // Port status answers (the USB printer class byte), one per request, the last repeating:
    // selected, no error.
    std::deque<int> PortStatuses = {0x18};
    // The printer's answers to ESC!?, one per query, the last repeating: ready.
    std::deque<char> StatusReplies = {0x00};
    // False: the printer takes data but never answers the status query.
    bool Answers = true;
    // What open answers when the device refuses the user (EACCES) or is gone; 0: it opens.
    int OpenError = 0;

    const std::string& Received() const { return FReceived; }
    size_t Lost() const { return FLost; }
    int StatusRequests() const { return FStatusRequests; }
    bool IsOpen() const { return FOpen; }
    std::chrono::milliseconds Elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(FNow - FStart);
    }

    TDeadline Now() override { return FNow; }
    void BackOff(std::chrono::milliseconds ADuration) override {
        FNow += ADuration;
        Complete();
    }

protected:
    struct TTransfer {
        std::string Data;
        TDeadline Done;
    };

    // Starts the printer taking AData.
    void Submit(std::string AData) {
        const int ms = TransferMs(FTransfers++, FReceived.size());
        FInFlight = TTransfer{std::move(AData),
                              ms == kNever ? TDeadline::max() : FNow + std::chrono::milliseconds(ms)};
    }

    // The transfer in flight reaches the printer once its time has come.
    void Complete() {
        if (!FInFlight || FInFlight->Done > FNow) return;
        FReceived += FInFlight->Data;
        FInFlight.reset();
        for (size_t at; (at = FReceived.find("\x1b!?", FScanned)) != std::string::npos; FScanned = at + 3) {
            if (!Answers) continue;
            FReplies += StatusReplies.front();
            if (StatusReplies.size() > 1) StatusReplies.pop_front();
        }
        FScanned = std::max(FScanned, FReceived.size() > 2 ? FReceived.size() - 2 : 0);
    }

    // Moves the clock until APredicate holds (checked after each completion) or ADeadline.
    template <typename Predicate>
    bool RunUntil(Predicate APredicate, TDeadline ADeadline) {
        for (;;) {
            Complete();
            if (APredicate()) return true;
            const TDeadline next = FInFlight ? FInFlight->Done : TDeadline::max();
            if (next > ADeadline) {
                FNow = std::max(FNow, ADeadline);
                return false;
            }
            FNow = next;
        }
    }

    size_t TakeReplies(char* AData, size_t ACount) {
        const size_t count = std::min(ACount, FReplies.size());
        std::memcpy(AData, FReplies.data(), count);
        FReplies.erase(0, count);
        return count;
    }

    int NextPortStatus() {
        ++FStatusRequests;
        const int status = PortStatuses.front();
        if (PortStatuses.size() > 1) PortStatuses.pop_front();
        return status;
    }

    // Closing: what is still in flight never reaches the printer.
    void Disconnect() {
        Complete();
        if (FInFlight) FLost += FInFlight->Data.size();
        FInFlight.reset();
        FReplies.clear();
        FOpen = false;
    }

    TDeadline FStart = TClock::now();
    TDeadline FNow = FStart;
    bool FOpen = false;
    std::optional<TTransfer> FInFlight;
    std::string FReplies;

private:
    size_t FTransfers = 0;
    std::string FReceived;
    size_t FScanned = 0;
    size_t FLost = 0;
    int FStatusRequests = 0;
};

}  // namespace quorvane::test
