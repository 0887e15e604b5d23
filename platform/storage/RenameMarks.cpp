// platform/storage/RenameMarks.cpp: the names and marks a rename leaves while it is under way.
#include "platform/storage/RenameMarks.h"

#include <sys/stat.h>

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

std::string rename_temporary_target(std::string_view name)
{
    size_t at = name.rfind(kTemporarySuffix);
    if (at == std::string_view::npos || at == 0)
        return std::string();
    std::string_view rest = name.substr(at + kTemporarySuffix.size());
    if (!rest.empty()) {
        // "-N" with N a decimal number above 0, without leading zeros.
        if (rest.size() < 2 || rest[0] != '-' || rest[1] == '0')
            return std::string();
        for (char c : rest.substr(1))
            if (c < '0' || c > '9')
                return std::string();
    }
    return std::string(name.substr(0, at));
}

bool is_rename_placeholder(const struct stat& st)
{
    const time_t day = 24 * 60 * 60;
    return S_ISREG(st.st_mode) && st.st_size == 0 && st.st_mtime >= kPlaceholderTime - day
        && st.st_mtime <= kPlaceholderTime + day;
}
