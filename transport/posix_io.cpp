#include "transport/posix_io.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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
    const char* reason = nullptr;
    switch (AError) {
        case ENOENT: reason = "устройство не найдено"; break;
        case ENODEV:
        case ENXIO: reason = "устройство отключено"; break;
        case EACCES:
        case EPERM: reason = "нет прав доступа"; break;
        case EBUSY: reason = "устройство занято другой программой"; break;
        case ECONNREFUSED:
            reason = "подключение отклонено: на этом порту принтер не принимает подключения";
            break;
        case ETIMEDOUT:
        case ETIME: reason = "истекло время ожидания"; break;
        case EHOSTUNREACH:
        case ENETUNREACH: reason = "адрес недоступен из этой сети"; break;
        case ECONNRESET:
        case EPIPE: reason = "принтер разорвал подключение"; break;
        default: return SystemErrorText(AError);
    }
    std::string text = std::string(reason) + " (" + SystemErrorText(AError) + ")";
    if ((AError == EACCES || AError == EPERM) && AGroup)
        text += std::string("; добавьте пользователя в группу ") + AGroup +
                " или установите правило udev packaging/70-quorvane.rules";
    return text;
}

}  // namespace quorvane
