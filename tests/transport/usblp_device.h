#pragma once

// A USB printer behind the kernel's printer class driver (usblp), as that driver is documented
// to behave towards a program that opened it non-blocking:
// - write() submits one transfer of at most 8192 bytes and returns its length at once; the
//   transfer completes later; while it is in flight a further write() fails with EAGAIN;
// - poll() reports POLLOUT only when no transfer is in flight, POLLIN when the printer has
//   answered;
// - close() kills a transfer still in flight: its bytes never reach the printer;
// - LPGETSTATUS answers the port status the test scripts;
// - one opener at a time (EBUSY).
// The printer behind it answers the status query ESC!? with a scripted byte. Time is
// simulated: waits and pauses move the device's clock instead of sleeping.

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "transport/usb_device_io.h"

namespace quorvane::test {

class TUsblpDevice : public TUsbDeviceIo {
public:
    static constexpr size_t kTransferSize = 8192;  // usblp's write buffer
    static constexpr int kNever = -1;

    // How long transfer number AIndex (from 0) takes, given the bytes the printer has so far;
    // kNever: the printer stops taking data.
    std::function<int(size_t AIndex, size_t AReceived)> TransferMs = [](size_t, size_t) { return 5; };
    // LPGETSTATUS answers, one per request, the last repeating: selected, no error.
    std::deque<int> PortStatuses = {0x18};
    // The printer's answers to ESC!?, one per query, the last repeating: ready.
    std::deque<char> StatusReplies = {0x00};
    // False: the printer takes data but never answers the status query.
    bool Answers = true;
    // What open answers when the device node refuses the user (EACCES) or is gone; 0: it opens.
    int OpenError = 0;

    const std::string& Received() const { return FReceived; }
    size_t Lost() const { return FLost; }
    int StatusRequests() const { return FStatusRequests; }
    bool IsOpen() const { return FOpen; }
    std::chrono::milliseconds Elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(FNow - FStart);
    }

    int Open(const std::string&) override {
        if (OpenError != 0) return Fail(OpenError);
        if (FOpen) return Fail(EBUSY);
        FOpen = true;
        return kFd;
    }

    ssize_t Write(int AFd, const char* AData, size_t ACount) override {
        if (AFd != kFd || !FOpen) return Fail(EBADF);
        Complete();
        if (FInFlight) return Fail(EAGAIN);
        const size_t count = std::min(ACount, kTransferSize);
        const int ms = TransferMs(FTransfers++, FReceived.size());
        FInFlight = TTransfer{std::string(AData, count),
                              ms == kNever ? TDeadline::max() : FNow + std::chrono::milliseconds(ms)};
        return static_cast<ssize_t>(count);
    }

    ssize_t Read(int AFd, char* AData, size_t ACount) override {
        if (AFd != kFd || !FOpen) return Fail(EBADF);
        Complete();
        if (FReplies.empty()) return Fail(EAGAIN);
        const size_t count = std::min(ACount, FReplies.size());
        std::memcpy(AData, FReplies.data(), count);
        FReplies.erase(0, count);
        return static_cast<ssize_t>(count);
    }

    int Poll(int AFd, short AEvents, TDeadline ADeadline) override {
        if (AFd != kFd || !FOpen) return Fail(EBADF);
        for (;;) {
            Complete();
            const int events = ((FInFlight ? 0 : POLLOUT) | (FReplies.empty() ? 0 : POLLIN)) & AEvents;
            if (events != 0) return events;
            const TDeadline next = FInFlight ? FInFlight->Done : TDeadline::max();
            if (next > ADeadline) {
                FNow = std::max(FNow, ADeadline);
                return 0;
            }
            FNow = next;
        }
    }

    int GetPortStatus(int AFd, int& AStatus) override {
        if (AFd != kFd || !FOpen) return Fail(EBADF);
        ++FStatusRequests;
        AStatus = PortStatuses.front();
        if (PortStatuses.size() > 1) PortStatuses.pop_front();
        return 0;
    }

    void Close(int AFd) override {
        if (AFd != kFd || !FOpen) return;
        Complete();
        if (FInFlight) FLost += FInFlight->Data.size();
        FInFlight.reset();
        FReplies.clear();
        FOpen = false;
    }

    TDeadline Now() override { return FNow; }
    void Sleep(std::chrono::milliseconds ADuration) override {
        FNow += ADuration;
        Complete();
    }

private:
    static constexpr int kFd = 1000;
    struct TTransfer {
        std::string Data;
        TDeadline Done;
    };

    static int Fail(int AError) {
        errno = AError;
        return -1;
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

    TDeadline FStart = TClock::now();
    TDeadline FNow = FStart;
    bool FOpen = false;
    std::optional<TTransfer> FInFlight;
    size_t FTransfers = 0;
    std::string FReceived;
    size_t FScanned = 0;
    std::string FReplies;
    size_t FLost = 0;
    int FStatusRequests = 0;
};

}  // namespace quorvane::test
