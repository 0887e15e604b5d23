// platform/storage/rename/RenameMarks.cpp: the visible temporary name a change of case goes
// through.
#include "platform/storage/rename/RenameMarks.h"

#include "platform/support/ProgramName.h"

namespace
{

constexpr size_t kMaxLeaf = 255;

} // namespace

std::string rename_temporary_name(std::string_view target, unsigned attempt)
{
    std::string name(target);
    name += '.';
    name += program_leaf();
    name += "-renaming";
    if (attempt > 0) {
        name += '-';
        name += std::to_string(attempt);
    }
    if (target.empty() || name.size() > kMaxLeaf)
        return std::string();
    return name;
}
