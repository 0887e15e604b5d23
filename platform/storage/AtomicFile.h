// platform/storage/AtomicFile.h: replacing a small file's whole content atomically.
#pragma once

#include "platform/support/SupportDefs.h"

#include <string>

// Writes bytes to a temporary file beside path, flushes it to disk and renames it over path,
// so that readers see either the old file or the complete new one, never an empty or partial
// file. On failure the temporary file is removed and path is left as it was.
// A symbolic link at path stays: its final target is replaced, from a temporary file beside
// the target, and a dangling link has its target created.
// Only a regular file is replaced, or created where nothing is: where path or its link's final
// target is a device, FIFO, folder or socket, nothing is written and the result is B_BAD_TYPE.
// B_OK, B_BAD_VALUE (null path), B_BAD_TYPE, or the mapped errno of the failing step.
[[nodiscard]] status_t replace_file_atomically(const char* path, const std::string& bytes);
