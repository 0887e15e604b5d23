// platform/storage/Uri.cpp: decoding file:// URIs from arguments and drops into local paths.
#include "platform/storage/Uri.h"

namespace
{

const std::string_view kScheme = "file://";

int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

bool is_file_uri(std::string_view text)
{
    return text.substr(0, kScheme.size()) == kScheme;
}

bool local_path_of_uri(std::string_view uri, std::string* path)
{
    if (!is_file_uri(uri))
        return false;
    std::string_view rest = uri.substr(kScheme.size());
    size_t slash = rest.find('/');
    if (slash == std::string_view::npos)
        return false;
    std::string_view host = rest.substr(0, slash);
    if (!host.empty() && host != "localhost")
        return false;
    rest = rest.substr(slash);
    rest = rest.substr(0, rest.find_first_of("?#"));

    std::string decoded;
    decoded.reserve(rest.size());
    for (size_t i = 0; i < rest.size(); i++) {
        int high, low;
        // A '%' not followed by two hex digits stands for itself.
        if (rest[i] == '%' && i + 2 < rest.size() && (high = hex_value(rest[i + 1])) >= 0
            && (low = hex_value(rest[i + 2])) >= 0) {
            decoded += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            decoded += rest[i];
        }
    }
    if (decoded.find('\0') != std::string::npos)
        return false;
    *path = std::move(decoded);
    return true;
}
