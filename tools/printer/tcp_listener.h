#pragma once
// A listening TCP socket on HOST:PORT; port 0 lets the system choose.
#include <string>

#include "posix/file_descriptor.h"

namespace quorvane {

class TcpListener {
public:
    // Throws std::runtime_error when the address is bad or cannot be bound.
    explicit TcpListener(const std::string& hostPort);
    int Fd() const { return FFd.Get(); }
    int Port() const { return FPort; }
    // A connected socket, or -1 when none is waiting.
    TFileDescriptor Accept();

private:
    TFileDescriptor FFd;
    int FPort = 0;
};

}  // namespace quorvane
