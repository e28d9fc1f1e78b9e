#pragma once

// Real peers for the transport tests: a loopback TCP server and pseudo-terminal pairs.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

#include "posix/file_descriptor.h"
#include "tests/common/loopback.h"
#include "transport/posix_io.h"

namespace quorvane::test {

// A failure text in the driver's form: the documented text, ": ", then context naming each of
// AParts (the place and the reason).
inline ::testing::AssertionResult IsMessage(const std::string& AText, const std::string& AStart,
                                            std::initializer_list<std::string> AParts) {
    if (AText.rfind(AStart + ": ", 0) != 0)
        return ::testing::AssertionFailure() << '"' << AText << "\" does not start with " << AStart;
    for (const std::string& part : AParts)
        if (AText.find(part, AStart.size()) == std::string::npos)
            return ::testing::AssertionFailure() << '"' << AText << "\" lacks \"" << part << '"';
    return ::testing::AssertionSuccess();
}

// Everything readable on AFd right now.
inline std::string Drain(int AFd) {
    std::string data;
    char buffer[65536];
    for (;;) {
        pollfd p{AFd, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN)) break;
        const ssize_t n = ::read(AFd, buffer, sizeof buffer);
        if (n <= 0) break;
        data.append(buffer, static_cast<size_t>(n));
    }
    return data;
}

// Reads what arrives on AFd until ACount bytes came or AWait passed.
inline std::string ReadFor(int AFd, size_t ACount, std::chrono::milliseconds AWait) {
    std::string data;
    const TDeadline deadline = DeadlineIn(AWait);
    while (data.size() < ACount) {
        const int events = WaitReady(AFd, POLLIN, deadline);
        if (events <= 0) break;
        char buffer[4096];
        const ssize_t n = ::read(AFd, buffer, std::min(sizeof buffer, ACount - data.size()));
        if (n <= 0) break;
        data.append(buffer, static_cast<size_t>(n));
    }
    return data;
}

// A pseudo-terminal hands bytes from one side to the other later, on a kernel worker: true once
// at least ACount bytes can be read on the terminal side ATerminal (any descriptor of it).
inline bool WaitArrived(int ATerminal, int ACount) {
    const TDeadline deadline = DeadlineIn(std::chrono::seconds(10));
    for (;;) {
        int queued = 0;
        if (::ioctl(ATerminal, FIONREAD, &queued) != 0) return false;
        if (queued >= ACount) return true;
        if (TClock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// Reads ACount bytes from AFd no faster than ABytesPerSecond, as a printer on a slow serial line
// takes them, until AWriterDone is set; the rest, already queued, at once.
inline std::string ReadThrottled(int AFd, size_t ACount, size_t ABytesPerSecond,
                                 const std::atomic<bool>& AWriterDone) {
    using namespace std::chrono_literals;
    const size_t perStep = std::max<size_t>(1, ABytesPerSecond / 100);  // every 10 ms
    const TDeadline deadline = DeadlineIn(60s);  // a hang guard only, far past any pace tested
    std::string data;
    TDeadline next = TClock::now();
    while (!AWriterDone && data.size() < ACount && TClock::now() < deadline) {
        next += 10ms;
        std::this_thread::sleep_until(next);
        data += ReadFor(AFd, std::min(perStep, ACount - data.size()), 0ms);
    }
    return data + ReadFor(AFd, ACount - data.size(), 5s);
}

// Writes through the terminal side ATerminal until the terminal holds no more, as if the
// printer had stopped reading; the number of bytes it took.
inline size_t FillTerminal(int ATerminal) {
    const int flags = ::fcntl(ATerminal, F_GETFL);
    ::fcntl(ATerminal, F_SETFL, flags | O_NONBLOCK);
    const std::string block(4096, 'F');
    size_t total = 0;
    // The kernel moves the bytes across on a worker, so room may come back a moment after a
    // refusal: full means refused several times in a row.
    for (int refused = 0; refused < 5;) {
        const ssize_t n = ::write(ATerminal, block.data(), block.size());
        if (n > 0) {
            total += static_cast<size_t>(n);
            refused = 0;
        } else if (n < 0 && errno == EAGAIN) {
            ++refused;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        } else if (n < 0 && errno != EINTR) {
            throw std::runtime_error("test terminal write failed");
        }
    }
    ::fcntl(ATerminal, F_SETFL, flags);
    return total;
}

inline void WriteAll(int AFd, const std::string& AData) {
    size_t sent = 0;
    while (sent < AData.size()) {
        const ssize_t n = ::write(AFd, AData.data() + sent, AData.size() - sent);
        if (n <= 0) throw std::runtime_error("test peer write failed");
        sent += static_cast<size_t>(n);
    }
}

// A pseudo-terminal: the code under test opens Path(); the test plays the device on Master().
class PtyPair {
public:
    // ARaw false leaves the terminal cooked (line editing, CR/LF translation) as a fresh pty is.
    explicit PtyPair(bool ARaw = true) {
        int master = -1, slave = -1;
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        FMaster.Reset(master);
        FSlave.Reset(slave);
        FPath = name;
        if (!ARaw) return;
        termios tio{};
        ::tcgetattr(slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slave, TCSANOW, &tio);
    }
    int Master() const { return FMaster.Get(); }
    // Our own hold on the terminal side; its settings are what the code under test applied.
    int Slave() const { return FSlave.Get(); }
    const std::string& Path() const { return FPath; }
    void CloseMaster() { FMaster.Reset(); }

private:
    TFileDescriptor FMaster, FSlave;
    std::string FPath;
};

// A TCP server on 127.0.0.1 that accepts one connection and hands it to a behaviour running on
// its own thread. The destructor stops the behaviour's waits and joins.
class LoopbackServer {
public:
    using Behaviour = std::function<void(int AClient, LoopbackServer& AServer)>;

    explicit LoopbackServer(Behaviour ABehaviour) {
        FListener.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        const int yes = 1;
        ::setsockopt(FListener.Get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(FListener.Get(), reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(FListener.Get(), 4) != 0 ||
            ::getsockname(FListener.Get(), reinterpret_cast<sockaddr*>(&address), &size) != 0)
            throw std::runtime_error("loopback server set-up failed");
        FPort = ntohs(address.sin_port);
        FThread = std::thread([this, behaviour = std::move(ABehaviour)] {
            // A client may connect, send and close before this thread runs: a connection that is
            // waiting when the stop comes is still accepted and served.
            const TDeadline deadline = DeadlineIn(std::chrono::seconds(20));
            int events = 0;
            while (events == 0 && !FStop && TClock::now() < deadline)
                events = WaitReady(FListener.Get(), POLLIN,
                                   std::min(deadline, DeadlineIn(std::chrono::milliseconds(50))));
            if (events == 0) events = WaitReady(FListener.Get(), POLLIN, TClock::now());  // one last look
            if (events <= 0) return;
            TFileDescriptor client(::accept4(FListener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (client.Valid()) behaviour(client.Get(), *this);
        });
    }
    ~LoopbackServer() {
        FStop = true;
        FThread.join();
    }
    int Port() const { return FPort; }
    bool Stopping() const { return FStop; }
    // Keeps a connection open and silent until the test ends.
    void StaySilent() const {
        while (!FStop) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // Everything the client sends until it closes (or 10 s pass).
    static std::string ReceiveAll(int AClient) {
        return ReadFor(AClient, SIZE_MAX, std::chrono::seconds(10));
    }

private:
    TFileDescriptor FListener;
    int FPort = 0;
    std::atomic<bool> FStop{false};
    std::thread FThread;
};

}  // namespace quorvane::test
