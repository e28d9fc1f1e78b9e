#include "tools/printer/printer_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace quorvane {

namespace {

using Clock = std::chrono::steady_clock;
// How often a pty with no program on its slave side is looked at again.
constexpr auto kPtyRecheck = std::chrono::milliseconds(10);

}  // namespace

PrinterServer::PrinterServer(const PrinterOptions& options)
    : FOptions(options),
      FJournal(options.journalPath),
      FStatus(options.status, options.statusScript),
      FPtyIn(options.baud),
      FPtyOut(options.baud) {
    if (FOptions.dpi != 203 && FOptions.dpi != 300 && FOptions.dpi != 600)
        throw std::runtime_error("--dpi must be 203, 300 or 600");
    if (!FOptions.outDir.empty()) std::filesystem::create_directories(FOptions.outDir);
    FPrinter = std::make_unique<VirtualPrinter>(FOptions, FJournal, FStatus);
    if (!FOptions.listen.empty() && FOptions.listen != "off")
        FListener = std::make_unique<TcpListener>(FOptions.listen);
    if (!FOptions.ptyLink.empty()) FPty = std::make_unique<PtyPort>(FOptions.ptyLink);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error(std::strerror(errno));
    FWakeRead.Reset(pipeFds[0]);
    FWakeWrite.Reset(pipeFds[1]);
}

PrinterServer::~PrinterServer() { Stop(); }

void PrinterServer::Start() {
    if (FThread.joinable()) return;
    FThread = std::thread([this] { Run(); });
}

void PrinterServer::Stop() {
    FStop = true;
    char b = 1;
    [[maybe_unused]] ssize_t n = ::write(FWakeWrite.Get(), &b, 1);
    if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id()) FThread.join();
}

bool PrinterServer::WaitForJobs(int n, std::chrono::milliseconds timeout) {
    std::unique_lock lock(FJobsMutex);
    return FJobsChanged.wait_for(lock, timeout, [&] { return FJobsDone.load() >= n; });
}

void PrinterServer::EndJob() {
    if (FPrinter->EndJob()) {
        {
            std::lock_guard lock(FJobsMutex);
            ++FJobsDone;
        }
        FJobsChanged.notify_all();
    }
}

bool PrinterServer::SendAll(int fd, const std::string& bytes, bool socket) {
    std::size_t off = 0;
    while (off < bytes.size()) {
        ssize_t n = socket ? ::send(fd, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL)
                           : ::write(fd, bytes.data() + off, bytes.size() - off);
        if (n > 0) {
            off += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0) return false;
            continue;
        }
        return false;
    }
    return true;
}

ssize_t PrinterServer::ReadPty(std::vector<char>& buf) {
    const ssize_t n = ::read(FPty->Fd(), buf.data(), std::min(buf.size(), FPtyIn.SliceBytes()));
    if (n <= 0) return n;
    // The printer sees the bytes once the line has carried them; the writer meanwhile fills the
    // terminal's buffer and then waits, as on a real port.
    FPtyIn.Pass(static_cast<std::size_t>(n));
    std::string reply = FPrinter->Feed(std::string_view(buf.data(), static_cast<std::size_t>(n)));
    if (!reply.empty()) {
        FPtyOut.Pass(reply.size());
        SendAll(FPty->Fd(), reply, false);
    }
    return n;
}

void PrinterServer::Run() {
    TFileDescriptor client;
    bool ptyActive = false;
    Clock::time_point ptyRetryAt{};
    Clock::time_point lastActivity = Clock::now();
    std::vector<char> buf(64 * 1024);

    while (!FStop) {
        if (FOptions.jobs > 0 && FJobsDone >= FOptions.jobs) break;
        auto now = Clock::now();
        if (FOptions.idleExit > 0 && !client.Valid() && !ptyActive &&
            now - lastActivity >= std::chrono::duration<double>(FOptions.idleExit))
            break;

        std::vector<pollfd> fds{{FWakeRead.Get(), POLLIN, 0}};
        int listenIdx = -1, clientIdx = -1, ptyIdx = -1;
        if (client.Valid()) {
            clientIdx = static_cast<int>(fds.size());
            fds.push_back({client.Get(), POLLIN, 0});
        } else {
            if (FListener && !ptyActive) {
                listenIdx = static_cast<int>(fds.size());
                fds.push_back({FListener->Fd(), POLLIN, 0});
            }
            if (FPty && (ptyActive || now >= ptyRetryAt)) {
                ptyIdx = static_cast<int>(fds.size());
                fds.push_back({FPty->Fd(), POLLIN, 0});
            }
        }
        int watchIdx = -1;
        if (FPty && !client.Valid()) {
            watchIdx = static_cast<int>(fds.size());
            fds.push_back({FPty->CloseWatchFd(), POLLIN, 0});
        }
        int timeout = FPty && !client.Valid() && !ptyActive ? 10 : 200;
        int rc = ::poll(fds.data(), fds.size(), timeout);
        if (rc < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents) break;

        if (clientIdx >= 0 && fds[clientIdx].revents) {
            ssize_t n = ::recv(client.Get(), buf.data(), buf.size(), 0);
            if (n > 0) {
                lastActivity = Clock::now();
                std::string reply = FPrinter->Feed(std::string_view(buf.data(), static_cast<std::size_t>(n)));
                if (!reply.empty() && !SendAll(client.Get(), reply, true)) {
                    EndJob();
                    client.Reset();
                }
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                EndJob();
                client.Reset();
                lastActivity = Clock::now();
            }
        }
        if (listenIdx >= 0 && (fds[listenIdx].revents & POLLIN)) {
            client = FListener->Accept();
            lastActivity = Clock::now();
        }
        // A session's close ends its job: what it wrote before closing is already in the
        // buffer. Closes are looked at before every pty read, so that a session opened right
        // after the close (which waits for its status reply) starts a job of its own.
        auto takePtyClose = [&] {
            if (!FPty->TakeCloses()) return;
            while (!FStop && ReadPty(buf) > 0) {
            }
            EndJob();
            ptyActive = false;
            lastActivity = Clock::now();
        };
        if (watchIdx >= 0 && (fds[watchIdx].revents & POLLIN)) takePtyClose();
        if (ptyIdx >= 0 && fds[ptyIdx].revents) {
            takePtyClose();
            ssize_t n = ReadPty(buf);
            if (n > 0) {
                ptyActive = true;
                lastActivity = Clock::now();
            } else if (n < 0 && errno == EAGAIN) {
                // Nothing to read after all.
            } else {
                // EIO: the last program holding the slave side has closed it; the job is over.
                if (ptyActive) {
                    EndJob();
                    ptyActive = false;
                    lastActivity = Clock::now();
                }
                ptyRetryAt = Clock::now() + kPtyRecheck;
            }
        }
    }
    if (FStop) TakeWhatArrived(client, buf);
    if (client.Valid() || ptyActive) EndJob();
    FFinished = true;
}

// A stop reads what had already arrived: a job its client finished before the stop is still
// a job, so whoever stops the printer and counts no job has not merely stopped too early.
void PrinterServer::TakeWhatArrived(TFileDescriptor& client, std::vector<char>& buf) {
    auto takeAll = [&](int fd) {
        for (;;) {
            const ssize_t n = ::recv(fd, buf.data(), buf.size(), MSG_DONTWAIT);
            if (n <= 0) return;
            FPrinter->Feed(std::string_view(buf.data(), static_cast<std::size_t>(n)));
        }
    };
    if (client.Valid()) {
        takeAll(client.Get());
        EndJob();
        client.Reset();
    }
    while (FListener) {
        pollfd p{FListener->Fd(), POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0) break;
        TFileDescriptor next = FListener->Accept();
        if (!next.Valid()) break;
        takeAll(next.Get());
        EndJob();
    }
}

}  // namespace quorvane
