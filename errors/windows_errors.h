#pragma once

// Windows only: the errno a system error code is reported by, so that one table
// (errors/system_errors.h) gives the Russian texts on every system.

#include <windows.h>

#include <cerrno>

namespace quorvane {

inline int ErrnoOfWindowsError(DWORD AError) {
    switch (AError) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_NETPATH: return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_PRIVILEGE_NOT_HELD: return EACCES;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_BUSY: return EBUSY;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS: return EEXIST;
        case ERROR_DIRECTORY: return ENOTDIR;
        case ERROR_WRITE_PROTECT: return EROFS;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return ENOSPC;
        case ERROR_INVALID_PARAMETER:
        case ERROR_INVALID_NAME: return EINVAL;
        case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
        case ERROR_NOT_READY:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEV_NOT_EXIST: return ENODEV;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return ENOMEM;
        case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
        case ERROR_INVALID_HANDLE: return EBADF;
        case ERROR_NOT_SUPPORTED:
        case ERROR_INVALID_FUNCTION: return EOPNOTSUPP;
        case ERROR_SEM_TIMEOUT: return ETIMEDOUT;
        default: return EIO;
    }
}

// errno from the calling thread's last system error.
inline void TakeWindowsError() { errno = ErrnoOfWindowsError(::GetLastError()); }

}  // namespace quorvane
