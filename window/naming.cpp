// window/naming.cpp: expanding the name template for the current file.
#include "window/TagViewer_window.h"

#include "platform/interface/Alert.h"
#include "platform/support/Trace.h"
#include "platform/support/Utf8.h"

#include <cstring>
#include <string>
#include <string_view>

namespace
{

// A byte of the name as the folder takes it: "/" (which a value may bring in) would leave the
// folder, and Windows's file systems refuse its reserved characters and control characters.
char cleaned(char c, const name_rules& rules)
{
    if (c == '/')
        return '_';
    const bool reserved
        = (c > 0 && c < 0x20) || (c != '\0' && std::strchr("\\:*?\"<>|", c) != nullptr);
    return rules.utf16_names && reserved ? '_' : c;
}

void append_cleaned(BString& name, std::string_view text, const name_rules& rules)
{
    for (char c : text)
        name += cleaned(c, rules);
}

// Windows's file systems drop trailing spaces and dots, so a name that has them would not be
// the name written.
void trim_for_windows(std::string& name, const name_rules& rules)
{
    if (!rules.utf16_names)
        return;
    while (!name.empty() && (name.back() == ' ' || name.back() == '.'))
        name.pop_back();
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

// Cuts a name longer than its file system takes before its suffix (".mp3", or whatever follows
// the last "." where that is 1 to 8 bytes), at a character boundary.
void cut_to_fit(std::string& name, const name_rules& rules)
{
    const size_t maxUnits = rules.max_utf16_units ? rules.max_utf16_units : name.size();
    Measure whole = measure(name);
    if (whole.bytes <= rules.max_bytes && whole.units <= maxUnits)
        return;
    size_t dot = name.rfind('.');
    size_t stemEnd = dot != std::string::npos && dot > 0 && name.size() - dot - 1 >= 1
            && name.size() - dot - 1 <= 8
        ? dot
        : name.size();
    Measure suffix = measure(std::string_view(name).substr(stemEnd));
    Measure kept { 0, 0 };
    while (kept.bytes < stemEnd) {
        Measure one
            = measure_character(std::string_view(name).substr(kept.bytes, stemEnd - kept.bytes));
        if (kept.bytes + one.bytes + suffix.bytes > rules.max_bytes
            || kept.units + one.units + suffix.units > maxUnits)
            break;
        kept.bytes += one.bytes;
        kept.units += one.units;
    }
    name.erase(kept.bytes, stemEnd - kept.bytes);
}

} // namespace

void TagViewer_window::newName()
{
    report_template(expand_template());
}

// The template's alerts: one per field letter whose source letter is wrong, and a general one
// (the only one that waits) for an unknown field letter or a "/" at the end.
void TagViewer_window::report_template(template_failure failure)
{
    if (failure == nullptr)
        return;
    const bool waits = failure[0] == '\0';
    std::string text
        = std::string("Master,\nI do not understand your bidding!\nI'm confused by the /") + failure
        + "something.\n";
    BAlert* alert = new BAlert(nullptr, text.c_str(), "I'll rephrase");
    if (waits)
        alert->Go();
    else
        alert->Go(nullptr);
}

TagViewer_window::template_failure TagViewer_window::expand_template(bool* song_information)
{
    trace("new_name()\n");
    const std::string constructor = constructor_control->Text();
    new_name = "";

    const struct {
        char letter;
        const BString* tag;
        const BString* attr;
        const char* alert;
    } kFields[] = {
        { 'a', &artist_tag, &artist_attr, "a-" },
        { 't', &title_tag, &title_attr, "t-" },
        { 'l', &album_tag, &album_attr, "l-" },
        { 'y', &year_tag, &year_attr, "y-" },
        { 'c', &comment_tag, &comment_attr, "c-" },
        { 'n', &track_tag, &track_attr, "n-" },
    };
    int inserted = 0, filled = 0;

    size_t at = 0;
    auto take = [&]() -> int { return at < constructor.size() ? constructor[at++] : -1; };
    while (at < constructor.size()) {
        char single[2] = { constructor[at++], '\0' };
        trace("constructor: %s\n", constructor.c_str() + at);
        trace("single_char: %s\n", single);
        if (single[0] != '/') {
            new_name += cleaned(single[0], loaded_rules);
            trace("new_name: %s\n", new_name.String());
            continue;
        }

        int field = take();
        if (field == 'g') {
            if (take() != 't')
                return "g-";
            trace("new_name: %s\n", new_name.String());
            continue;
        }
        bool known = false;
        for (const auto& entry : kFields) {
            if (entry.letter != field)
                continue;
            known = true;
            int source = take();
            if (source != 't' && source != 'a')
                return entry.alert;
            const BString& value = source == 't' ? *entry.tag : *entry.attr;
            append_cleaned(new_name, value.String(), loaded_rules);
            inserted++;
            filled += value.Length() > 0 ? 1 : 0;
            trace("new_name: %s\n", new_name.String());
            break;
        }
        if (!known)
            return "";
    }
    std::string name = new_name.String();
    trim_for_windows(name, loaded_rules);
    cut_to_fit(name, loaded_rules);
    trim_for_windows(name, loaded_rules);
    new_name = name.c_str();
    trace("new_name: %s\n", new_name.String());
    const bool song = inserted == 0 || filled > 0;
    if (song_information != nullptr)
        *song_information = song;
    preview_view->SetText(song ? new_name.String() : name_view->Text());
    return nullptr;
}
