#pragma once
// A pseudo-terminal standing in for a serial or USB printer port: the program that prints
// opens the slave side (through the symlink); the printer reads the master side.
#include <string>

#include "tools/printer/unique_fd.h"

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

private:
    UniqueFd FMaster;
    std::string FSlave;
    std::string FLink;
};

}  // namespace quorvane
