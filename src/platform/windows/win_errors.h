// The system's error codes in the <cerrno> terms the platform interface
// speaks, shared by the Windows implementation files.
#pragma once

#include <windows.h>

#include <cerrno>

namespace zorbel::win {

inline int errno_from(DWORD code) {
    switch (code) {
        case ERROR_SUCCESS: return 0;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
            return ENOENT;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return EACCES;
        case ERROR_NOT_SAME_DEVICE: return EXDEV;
        case ERROR_TOO_MANY_LINKS: return EMLINK;
        case ERROR_NOT_SUPPORTED:
        case ERROR_INVALID_FUNCTION:
        case ERROR_CALL_NOT_IMPLEMENTED:
            return ENOTSUP;
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_BUFFER_OVERFLOW:
            return ENAMETOOLONG;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        case ERROR_DIRECTORY: return ENOTDIR;
        default: return EIO;
    }
}

inline int last_errno() { return errno_from(::GetLastError()); }

inline HANDLE handle_of(std::intptr_t raw) { return reinterpret_cast<HANDLE>(raw); }

}  // namespace zorbel::win
