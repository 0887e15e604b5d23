// platform/support/ProgramName.cpp: the program's names, set once from its signature.
#include "platform/support/ProgramName.h"

#include <cctype>
#include <string_view>

namespace
{

struct Names {
    std::string title;
    std::string leaf;
    bool set = false;
};

Names names_for(std::string_view title)
{
    Names names;
    names.title = title;
    for (char c : title)
        names.leaf += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return names;
}

Names& names()
{
    static Names sNames = names_for(ORVALIN_BUILD_PROGRAM);
    return sNames;
}

} // namespace

status_t set_program_signature(const char* signature)
{
    constexpr std::string_view kPrefix = "application/x-vnd.";
    if (signature == nullptr)
        return B_BAD_VALUE;
    std::string_view text(signature);
    if (text.substr(0, kPrefix.size()) != kPrefix)
        return B_BAD_VALUE;
    text.remove_prefix(kPrefix.size());
    size_t dash = text.rfind('-');
    if (dash == std::string_view::npos || dash == 0)
        return B_BAD_VALUE;
    std::string_view title = text.substr(dash + 1);
    if (title.empty())
        return B_BAD_VALUE;
    for (char c : title) {
        if (!std::isalnum(static_cast<unsigned char>(c)))
            return B_BAD_VALUE;
    }
    Names& current = names();
    if (current.set)
        return current.title == title ? B_OK : B_NOT_ALLOWED;
    current = names_for(title);
    current.set = true;
    return B_OK;
}

const std::string& program_title()
{
    return names().title;
}

const std::string& program_leaf()
{
    return names().leaf;
}
