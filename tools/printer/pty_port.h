#pragma once
// A pseudo-terminal standing in for a serial or USB printer port: the program that prints
// opens the slave side (through the symlink); the printer reads the master side.
#include <string>

#include "posix/file_descriptor.h"

namespace quorvane {

class PtyPort {
public:
    // Creates the pty in raw mode and the symlink LINK -> slave path (replacing a stale link).
    explicit PtyPort(const std::string& link);
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    int Fd() const { return FMaster.Get(); }
    const std::string& SlavePath() const { return FSlave; }
    // Readable when a program has closed the slave side: a session (job) has ended even if
    // the next one opened the slave before the hang-up could be seen.
    int CloseWatchFd() const { return FWatch.Get(); }
    // Consumes the pending notifications; true when at least one close was among them.
    bool TakeCloses();

private:
    TFileDescriptor FMaster;
    TFileDescriptor FWatch;
    std::string FSlave;
    std::string FLink;
};

}  // namespace quorvane
