#include "transport/posix_io.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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

std::string SystemErrorText(int AError) {
    char buffer[256];
    // The GNU form: returns either buffer or a static text.
    return ::strerror_r(AError, buffer, sizeof buffer);
}

std::string SystemReason(int AError, const char* AGroup) {
    // A path that opened but is no device (a file, a directory): the system text would only
    // confuse, so the reason stands alone.
    if (AError == ENOTTY || AError == EISDIR) return MessageText(TMessage::ReasonNotAPrinterDevice);
    TMessage reason;
    switch (AError) {
        case ENOENT: reason = TMessage::ReasonDeviceNotFound; break;
        case ENODEV:
        case ENXIO: reason = TMessage::ReasonDeviceUnplugged; break;
        case EACCES:
        case EPERM: reason = TMessage::ReasonNoAccess; break;
        case EBUSY: reason = TMessage::ReasonDeviceBusy; break;
        case ECONNREFUSED: reason = TMessage::ReasonConnectionRefused; break;
        case ETIMEDOUT:
        case ETIME: reason = TMessage::ReasonTimedOut; break;
        case EHOSTUNREACH:
        case ENETUNREACH: reason = TMessage::ReasonUnreachable; break;
        case ECONNRESET:
        case EPIPE: reason = TMessage::ReasonConnectionReset; break;
        default: return SystemErrorText(AError);
    }
    std::string text = std::string(MessageText(reason)) + " (" + SystemErrorText(AError) + ")";
    if ((AError == EACCES || AError == EPERM) && AGroup) text += "; " + Message(TMessage::AccessHint, AGroup);
    return text;
}

}  // namespace quorvane
