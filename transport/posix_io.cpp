#include "transport/posix_io.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

#include "errors/messages.h"

namespace quorvane {

int WaitReady(int AFd, short AEvents, TDeadline ADeadline) {
    for (;;) {
        // Long waits (no deadline at all is TDeadline::max()) go in slices poll() can take.
        constexpr std::chrono::milliseconds kSlice = std::chrono::hours(1);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(ADeadline - TClock::now());
        const int timeout = static_cast<int>(std::clamp(left, std::chrono::milliseconds(0), kSlice).count());
        pollfd p{AFd, AEvents, 0};
        const int n = ::poll(&p, 1, timeout);
        if (n > 0) return p.revents;
        if (n == 0) {
            if (TClock::now() >= ADeadline) return 0;
            continue;  // woke a little early: poll rounds to whole milliseconds
        }
        if (errno != EINTR) return -1;
    }
}

std::string SystemErrorText() { return SystemErrorText(errno); }

std::string SystemReason(int AError, const char* AGroup) {
    std::string text;
    switch (AError) {
        case ENOENT: text = MessageText(TMessage::ReasonDeviceNotFound); break;
        // A path that opened but is no device (a file, a directory).
        case ENOTTY:
        case EISDIR: text = MessageText(TMessage::ReasonNotAPrinterDevice); break;
        default: text = SystemErrorText(AError); break;
    }
    if ((AError == EACCES || AError == EPERM) && AGroup) text += "; " + Message(TMessage::AccessHint, AGroup);
    return text;
}

}  // namespace quorvane
