// platform/support/SupportDefs.h: the platform's integer types, status codes and type codes.
//
// Failures are status codes, never exceptions, with one policy throughout:
// - Allocation failure ends the program, as in Qt: no try around an allocation, no
//   new (std::nothrow). Sizes read from files are bounded before anything is allocated.
// - Exceptions from Qt or TagLib are caught where those libraries are called, and only there;
//   they become a status (B_ERROR) or "nothing found".
// - A status that reports a failure to the user is [[nodiscard]]; a caller that may ignore one
//   says why with (void).
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

typedef int8_t int8;
typedef uint8_t uint8;
typedef int16_t int16;
typedef uint16_t uint16;
typedef int32_t int32;
typedef uint32_t uint32;
typedef int64_t int64;
typedef uint64_t uint64;

typedef int32 status_t;
typedef uint32 type_code;
typedef int32 thread_id;

// Status codes. The window traces these by name; their values follow the platform's own.
enum : status_t {
    B_OK = 0,
    B_ERROR = -1,
    B_NO_MEMORY = static_cast<status_t>(0x80000000),
    B_PERMISSION_DENIED = static_cast<status_t>(0x80000002),
    B_BAD_INDEX = static_cast<status_t>(0x80000003),
    B_BAD_TYPE = static_cast<status_t>(0x80000004),
    B_BAD_VALUE = static_cast<status_t>(0x80000005),
    B_NAME_NOT_FOUND = static_cast<status_t>(0x80000007),
    B_NO_INIT = static_cast<status_t>(0x8000000D),
    B_BUSY = static_cast<status_t>(0x8000000E),
    B_NOT_ALLOWED = static_cast<status_t>(0x8000000F),
    B_FILE_ERROR = static_cast<status_t>(0x80006000),
    B_FILE_EXISTS = static_cast<status_t>(0x80006002),
    B_ENTRY_NOT_FOUND = static_cast<status_t>(0x80006003),
    B_DEVICE_FULL = static_cast<status_t>(0x80006007),
    // Other system errors: this base plus the errno value, so each keeps a code of its own.
    B_POSIX_ERROR_BASE = static_cast<status_t>(0x80007000),
};

// Maps a POSIX errno value onto a status code: EEXIST -> B_FILE_EXISTS, ENOENT ->
// B_ENTRY_NOT_FOUND, EACCES -> B_PERMISSION_DENIED, EPERM -> B_NOT_ALLOWED, ENOSPC ->
// B_DEVICE_FULL, ENOMEM -> B_NO_MEMORY, EINVAL -> B_BAD_VALUE, EBUSY -> B_BUSY, EIO ->
// B_FILE_ERROR; any other errno e -> B_POSIX_ERROR_BASE + e. 0 gives B_OK.
status_t status_for_errno(int err);

// Type codes of typed attributes and message fields.
enum : type_code {
    B_STRING_TYPE = 'CSTR',
    B_POINT_TYPE = 'BPNT',
    B_REF_TYPE = 'RREF',
    B_MIME_STRING_TYPE = 'MIMS',
};
