// platform/storage/NameRules.h: what names a folder's file system takes, and a built name
// fitted to them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// What names a folder's file system takes.
struct name_rules {
    bool utf16_names = false; // stored as UTF-16 (FAT, exFAT, NTFS): Windows's rules apply
    size_t max_bytes = 255; // the longest name in bytes
    size_t max_utf16_units = 0; // and in UTF-16 units, where they are counted (0: not)
};

// Appends text to name as a file name can hold it: "/" (which a song's text may bring in)
// becomes "_", and under Windows's rules so do \ : * ? " < > | and the control characters
// U+0001-U+001F. Every other byte stays as it is.
void append_name_text(std::string* name, std::string_view text, const name_rules& rules);

// Fits a built name to rules: under Windows's rules, without trailing spaces and dots (those
// file systems would drop them); a name longer than the rules take is cut before its suffix
// (".mp3", or whatever follows the last "." where that is 1 to 8 bytes), at a character
// boundary, until it fits. Bytes that are not UTF-8 count as one character each.
void fit_name(std::string* name, const name_rules& rules);
