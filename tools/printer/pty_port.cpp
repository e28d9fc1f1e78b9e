#include "tools/printer/pty_port.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace quorvane {

PtyPort::PtyPort(const std::string& link) : FLink(link) {
    FMaster.Reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (!FMaster.Valid() || ::grantpt(FMaster.Get()) != 0 || ::unlockpt(FMaster.Get()) != 0)
        throw std::runtime_error(std::string("cannot create a pseudo-terminal: ") + std::strerror(errno));
    char name[PATH_MAX];
    if (::ptsname_r(FMaster.Get(), name, sizeof name) != 0)
        throw std::runtime_error(std::string("ptsname: ") + std::strerror(errno));
    FSlave = name;
    // Raw, so job bytes pass unchanged and replies are not echoed back to us; the settings
    // belong to the pty pair and last while the master is open.
    termios tio{};
    if (::tcgetattr(FMaster.Get(), &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(FMaster.Get(), TCSANOW, &tio);
    }
    FWatch.Reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!FWatch.Valid() ||
        ::inotify_add_watch(FWatch.Get(), FSlave.c_str(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0)
        throw std::runtime_error(std::string("cannot watch the pseudo-terminal: ") + std::strerror(errno));
    struct stat st {};
    if (::lstat(FLink.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) throw std::runtime_error(FLink + " exists and is not a symlink");
        ::unlink(FLink.c_str());
    }
    if (::symlink(FSlave.c_str(), FLink.c_str()) != 0)
        throw std::runtime_error("cannot create symlink " + FLink + ": " + std::strerror(errno));
}

bool PtyPort::TakeCloses() {
    alignas(inotify_event) char buf[4096];
    bool closed = false;
    for (;;) {
        ssize_t n = ::read(FWatch.Get(), buf, sizeof buf);
        if (n <= 0) break;
        for (char* p = buf; p < buf + n;) {
            auto* ev = reinterpret_cast<inotify_event*>(p);
            if (ev->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) closed = true;
            p += sizeof(inotify_event) + ev->len;
        }
    }
    return closed;
}

PtyPort::~PtyPort() {
    char target[PATH_MAX];
    ssize_t n = ::readlink(FLink.c_str(), target, sizeof target - 1);
    if (n > 0 && FSlave == std::string(target, static_cast<std::size_t>(n))) ::unlink(FLink.c_str());
}

}  // namespace quorvane
