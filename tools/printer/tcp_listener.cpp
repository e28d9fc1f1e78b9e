#include "tools/printer/tcp_listener.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace quorvane {

TcpListener::TcpListener(const std::string& hostPort) {
    std::size_t colon = hostPort.rfind(':');
    if (colon == std::string::npos) throw std::runtime_error("--listen wants HOST:PORT, got " + hostPort);
    std::string host = hostPort.substr(0, colon), port = hostPort.substr(colon + 1);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* raw = nullptr;
    int rc = getaddrinfo(host.empty() ? nullptr : host.c_str(), port.c_str(), &hints, &raw);
    if (rc != 0) throw std::runtime_error("cannot resolve " + hostPort + ": " + gai_strerror(rc));
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> list(raw, freeaddrinfo);
    std::string error = "no address";
    for (addrinfo* ai = raw; ai; ai = ai->ai_next) {
        TFileDescriptor fd(
            ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol));
        if (!fd.Valid()) {
            error = std::strerror(errno);
            continue;
        }
        int one = 1;
        ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(fd.Get(), ai->ai_addr, ai->ai_addrlen) != 0 || ::listen(fd.Get(), 8) != 0) {
            error = std::strerror(errno);
            continue;
        }
        sockaddr_storage bound{};
        socklen_t len = sizeof bound;
        ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&bound), &len);
        FPort = bound.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                                            : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
        FFd = std::move(fd);
        return;
    }
    throw std::runtime_error("cannot listen on " + hostPort + ": " + error);
}

TFileDescriptor TcpListener::Accept() {
    return TFileDescriptor(::accept4(FFd.Get(), nullptr, nullptr, SOCK_CLOEXEC));
}

}  // namespace quorvane
