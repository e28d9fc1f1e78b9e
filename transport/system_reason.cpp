#include "transport/system_reason.h"

#include <cerrno>

#include "errors/messages.h"

namespace quorvane {

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
