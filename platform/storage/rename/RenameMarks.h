// platform/storage/rename/RenameMarks.h: the visible temporary name a change of case goes through.
#pragma once

#include <string>
#include <string_view>

// The visible temporary name of a case-only rename on its way to target: "TARGET.orvalin-renaming",
// and "TARGET.orvalin-renaming-N" for a later attempt N > 0. Empty when it would not fit in a
// leaf name (255 bytes).
std::string rename_temporary_name(std::string_view target, unsigned attempt);
