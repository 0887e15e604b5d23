// platform/storage/Uri.h: the local path that a file:// URI names.
#pragma once

#include <string>
#include <string_view>

// True when text is a file:// URI rather than a path.
bool is_file_uri(std::string_view text);

// True when text is a URI that names a file not on this computer's disks: one of another
// scheme, written "scheme:/..." (trash:///, sftp://, smb://, ...), or a file:// URI whose host
// is neither empty nor "localhost".
bool is_uri_elsewhere(std::string_view text);

// The path of a file:// URI with an empty host or "localhost", percent-decoded byte for byte
// (names that are not UTF-8 survive); the path ends at a '?' or '#'. False, with path
// untouched, for any other URI and for a path that would hold a NUL (%00), which would cut the
// name short and name another file.
bool local_path_of_uri(std::string_view uri, std::string* path);
