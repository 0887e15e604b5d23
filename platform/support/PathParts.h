// platform/support/PathParts.h: the folder part and the leaf of a path, taken apart as text.
#pragma once

#include <string>
#include <string_view>

// What follows the last slash of path; the whole path where it has none.
inline std::string_view path_leaf(std::string_view path)
{
    size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// What comes before the last slash of path: "." where it has none, "/" for a leaf at the root.
inline std::string path_folder(std::string_view path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return ".";
    return slash == 0 ? "/" : std::string(path.substr(0, slash));
}
