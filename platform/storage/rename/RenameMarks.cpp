// platform/storage/rename/RenameMarks.cpp: the visible temporary name a change of case goes through.
#include "platform/storage/rename/RenameMarks.h"

namespace
{

constexpr std::string_view kTemporarySuffix = ".orvalin-renaming";
constexpr size_t kMaxLeaf = 255;

} // namespace

std::string rename_temporary_name(std::string_view target, unsigned attempt)
{
    std::string name(target);
    name += kTemporarySuffix;
    if (attempt > 0) {
        name += '-';
        name += std::to_string(attempt);
    }
    if (target.empty() || name.size() > kMaxLeaf)
        return std::string();
    return name;
}
