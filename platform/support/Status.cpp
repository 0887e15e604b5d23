// platform/support/Status.cpp: the one place where POSIX errno values become status codes.
#include "platform/support/SupportDefs.h"

#include <cerrno>

status_t status_for_errno(int err)
{
    switch (err) {
    case 0:
        return B_OK;
    case EEXIST:
        return B_FILE_EXISTS;
    case ENOENT:
        return B_ENTRY_NOT_FOUND;
    case EACCES:
        return B_PERMISSION_DENIED;
    case EPERM:
        return B_NOT_ALLOWED;
    case ENOSPC:
        return B_DEVICE_FULL;
    case ENOMEM:
        return B_NO_MEMORY;
    case EINVAL:
        return B_BAD_VALUE;
    case EBUSY:
        return B_BUSY;
    case EIO:
        return B_FILE_ERROR;
    default:
        break;
    }
    // A negative or absurd value would collide with the named codes; keep it distinct anyway.
    if (err < 0 || err > 0xFFF)
        return B_ERROR;
    return B_POSIX_ERROR_BASE + err;
}
