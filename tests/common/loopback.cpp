#include "tests/common/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "posix/file_descriptor.h"

namespace quorvane::test {

int ClosedLoopbackPort() {
    TFileDescriptor probe(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(probe.Get(), reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(probe.Get(), reinterpret_cast<sockaddr*>(&address), &size);
    return ntohs(address.sin_port);
}

}  // namespace quorvane::test
