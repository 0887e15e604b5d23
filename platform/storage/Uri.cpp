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

// The scheme of a URI written "scheme:/...", or nothing where text does not start with one
// (a scheme is a letter followed by letters, digits, '+', '-' and '.').
std::string_view scheme_of(std::string_view text)
{
    size_t colon = text.find(':');
    if (colon == 0 || colon == std::string_view::npos || text.substr(colon + 1, 1) != "/")
        return {};
    for (size_t i = 0; i < colon; i++) {
        char c = text[i];
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && (i == 0 || !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')))
            return {};
    }
    return text.substr(0, colon);
}

bool equal_ignoring_case(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); i++)
        if ((a[i] | 0x20) != (b[i] | 0x20))
            return false;
    return true;
}

} // namespace

bool is_uri_elsewhere(std::string_view text)
{
    std::string_view scheme = scheme_of(text);
    if (scheme.empty())
        return false;
    if (!equal_ignoring_case(scheme, "file"))
        return true;
    if (text.substr(scheme.size(), 3) != "://")
        return false;
    std::string_view rest = text.substr(scheme.size() + 3);
    std::string_view host = rest.substr(0, rest.find('/'));
    return !host.empty() && !equal_ignoring_case(host, "localhost");
}

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
