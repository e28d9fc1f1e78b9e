#pragma once
// The virtual printer behind its front ends: a TCP listener and/or a pseudo-terminal, one job
// at a time (a TCP connection, or a pty session from the slave's open to its last close).
//
// In-process use (tests):
//   PrinterOptions o; o.listen = "127.0.0.1:0"; o.keepLabels = true;
//   PrinterServer server(o);          // binds and creates the pty now; throws on failure
//   server.Start();                   // serves in a thread
//   ... connect to 127.0.0.1:server.Port(), send TSPL, close ...
//   server.WaitForJobs(1, 5s);        // the job has been read to its end
//   server.Journal(); server.Labels(); // entries and rendered labels (images with keepLabels)
//   server.Stop();                    // also done by the destructor
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "posix/file_descriptor.h"
#include "tools/printer/printer_journal.h"
#include "tools/printer/printer_options.h"
#include "tools/printer/pty_port.h"
#include "tools/printer/serial_line.h"
#include "tools/printer/status_model.h"
#include "tools/printer/tcp_listener.h"
#include "tools/printer/virtual_printer.h"

namespace quorvane {

class PrinterServer {
public:
    explicit PrinterServer(const PrinterOptions& options);
    ~PrinterServer();
    PrinterServer(const PrinterServer&) = delete;
    PrinterServer& operator=(const PrinterServer&) = delete;

    void Start();  // serve in a background thread
    void Run();    // serve in the calling thread until Stop(), --jobs or --idle-exit
    void Stop();   // safe from any thread, idempotent
    bool Finished() const { return FFinished.load(); }

    int Port() const { return FListener ? FListener->Port() : 0; }  // 0 without TCP
    std::string PtyPath() const { return FPty ? FPty->SlavePath() : std::string(); }

    std::vector<JournalEntry> Journal() const { return FJournal.Entries(); }
    std::size_t ProblemCount() const { return FJournal.ProblemCount(); }
    std::vector<RenderedLabel> Labels() const { return FPrinter->Labels(); }
    int JobCount() const { return FJobsDone.load(); }
    bool Ribbon() const { return FPrinter->Ribbon(); }
    // Waits until at least n jobs have ended; false on timeout.
    bool WaitForJobs(int n, std::chrono::milliseconds timeout);

private:
    void EndJob();
    bool SendAll(int fd, const std::string& bytes, bool socket);
    void TakeWhatArrived(TFileDescriptor& client, std::vector<char>& buf);
    // One read from the pty, at the line's speed when one is set, fed and answered.
    ssize_t ReadPty(std::vector<char>& buf);

    PrinterOptions FOptions;
    PrinterJournal FJournal;
    StatusModel FStatus;
    std::unique_ptr<VirtualPrinter> FPrinter;
    std::unique_ptr<TcpListener> FListener;
    std::unique_ptr<PtyPort> FPty;
    SerialLine FPtyIn, FPtyOut;  // the two directions of the pty's simulated line
    TFileDescriptor FWakeRead, FWakeWrite;
    std::thread FThread;
    std::atomic<bool> FStop{false};
    std::atomic<bool> FFinished{false};
    std::atomic<int> FJobsDone{0};
    std::mutex FJobsMutex;
    std::condition_variable FJobsChanged;
};

}  // namespace quorvane
