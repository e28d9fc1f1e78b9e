#pragma once

#include <cerrno>
#include <string>

#include "errors/messages.h"

namespace quorvane {

// The Russian text of a system error number, for every errno a port, a connection or the log
// folder can realistically produce. The machine's locale plays no part: the host process may
// run in any, and strerror would answer in English on most. Other numbers give
// "системная ошибка N".
inline std::string SystemErrorText(int AError) {
    TMessage id;
    switch (AError) {
        case EACCES:
        case EPERM: id = TMessage::ReasonNoAccess; break;
        case ENOENT: id = TMessage::SysNoSuchFile; break;
        case ENOTDIR: id = TMessage::SysNotADirectory; break;
        case EISDIR: id = TMessage::SysIsADirectory; break;
        case EROFS: id = TMessage::SysReadOnlyFileSystem; break;
        case ENOSPC: id = TMessage::SysNoSpace; break;
#ifdef EDQUOT  // not in the Windows C runtime
        case EDQUOT: id = TMessage::SysQuotaExceeded; break;
#endif
        case EIO: id = TMessage::SysIoError; break;
        case EINVAL: id = TMessage::SysInvalidArgument; break;
        case EAGAIN: id = TMessage::SysTryAgain; break;
        case EINTR: id = TMessage::SysInterrupted; break;
        case ELOOP: id = TMessage::SysSymbolicLink; break;
        case EMFILE:
        case ENFILE: id = TMessage::SysTooManyOpenFiles; break;
        case ENOMEM:
        case ENOBUFS: id = TMessage::SysOutOfMemory; break;
        case EEXIST: id = TMessage::SysFileExists; break;
        case ENAMETOOLONG: id = TMessage::SysNameTooLong; break;
        case EBADF: id = TMessage::SysBadDescriptor; break;
        case ENOTTY:
        case EOPNOTSUPP: id = TMessage::SysNotSupported; break;
        case ENODEV:
        case ENXIO: id = TMessage::ReasonDeviceUnplugged; break;
        case EBUSY: id = TMessage::ReasonDeviceBusy; break;
        case ETIMEDOUT:
        case ETIME: id = TMessage::ReasonTimedOut; break;
        case ECONNREFUSED: id = TMessage::ReasonConnectionRefused; break;
        case ECONNRESET:
        case EPIPE: id = TMessage::ReasonConnectionReset; break;
        case EHOSTUNREACH:
        case ENETUNREACH:
#ifdef EHOSTDOWN
        case EHOSTDOWN:
#endif
            id = TMessage::ReasonUnreachable;
            break;
        case ENETDOWN: id = TMessage::SysNetworkDown; break;
        case EADDRNOTAVAIL: id = TMessage::SysAddressNotAvailable; break;
        default: return Message(TMessage::SysUnknown, AError);
    }
    return MessageText(id);
}

}  // namespace quorvane
