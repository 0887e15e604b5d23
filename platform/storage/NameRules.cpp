// platform/storage/NameRules.cpp: a built name fitted to what its file system takes.
#include "platform/storage/NameRules.h"

#include "platform/support/Utf8.h"

#include <cstring>

namespace
{

char cleaned(char c, const name_rules& rules)
{
    if (c == '/')
        return '_';
    const bool reserved
        = (c > 0 && c < 0x20) || (c != '\0' && std::strchr("\\:*?\"<>|", c) != nullptr);
    return rules.utf16_names && reserved ? '_' : c;
}

void trim_for_windows(std::string* name, const name_rules& rules)
{
    if (!rules.utf16_names)
        return;
    while (!name->empty() && (name->back() == ' ' || name->back() == '.'))
        name->pop_back();
}

// The bytes and UTF-16 units of one character: bytes that are not UTF-8 count one each.
struct Measure {
    size_t bytes, units;
};

Measure measure_character(std::string_view text)
{
    size_t length = utf8_character_length(text);
    if (length == 0)
        return { 1, 1 };
    return { length, length == 4 ? size_t(2) : size_t(1) };
}

Measure measure(std::string_view text)
{
    Measure total { 0, 0 };
    while (total.bytes < text.size()) {
        Measure one = measure_character(text.substr(total.bytes));
        total.bytes += one.bytes;
        total.units += one.units;
    }
    return total;
}

void cut_to_fit(std::string* name, const name_rules& rules)
{
    const size_t maxUnits = rules.max_utf16_units ? rules.max_utf16_units : name->size();
    Measure whole = measure(*name);
    if (whole.bytes <= rules.max_bytes && whole.units <= maxUnits)
        return;
    size_t dot = name->rfind('.');
    size_t suffixLength = dot == std::string::npos ? 0 : name->size() - dot - 1;
    size_t stemEnd = dot != std::string::npos && dot > 0 && suffixLength >= 1 && suffixLength <= 8
        ? dot
        : name->size();
    std::string_view text(*name);
    Measure suffix = measure(text.substr(stemEnd));
    Measure kept { 0, 0 };
    while (kept.bytes < stemEnd) {
        Measure one = measure_character(text.substr(kept.bytes, stemEnd - kept.bytes));
        if (kept.bytes + one.bytes + suffix.bytes > rules.max_bytes
            || kept.units + one.units + suffix.units > maxUnits)
            break;
        kept.bytes += one.bytes;
        kept.units += one.units;
    }
    name->erase(kept.bytes, stemEnd - kept.bytes);
}

} // namespace

void append_name_text(std::string* name, std::string_view text, const name_rules& rules)
{
    for (char c : text)
        *name += cleaned(c, rules);
}

void fit_name(std::string* name, const name_rules& rules)
{
    trim_for_windows(name, rules);
    cut_to_fit(name, rules);
    trim_for_windows(name, rules); // a cut without a suffix may end in a space
}
