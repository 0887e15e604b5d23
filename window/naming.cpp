// window/naming.cpp: expanding the name template for the current file.
#include "window/TagViewer_window.h"

#include "platform/app/Catalog.h"
#include "platform/interface/Alert.h"
#include "platform/storage/NameRules.h"
#include "platform/support/Trace.h"

#include <algorithm>
#include <string>
#include <string_view>

// A track number as names sort: its leading decimal number zero-padded to two digits, or to
// the width of the album's total where the text gives one ("7/120" gives "007"). Text that does
// not start with a digit ("A1", a vinyl side) stands as it is. The digits stay text: a huge
// number cannot overflow.
std::string TagViewer_window::track_text(std::string_view text)
{
    auto digits_at = [&](size_t at) {
        size_t end = at;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9')
            ++end;
        return end - at;
    };
    size_t digits = digits_at(0);
    if (digits == 0)
        return std::string(text);
    size_t width = 2;
    if (digits < text.size() && text[digits] == '/')
        width = std::max(width, digits_at(digits + 1));
    std::string number(width > digits ? width - digits : 0, '0');
    number += text.substr(0, digits);
    return number;
}

void TagViewer_window::newName()
{
    report_template(expand_template(shown.rules));
}

// The template's alerts: one per field letter whose source letter is wrong, and a general one
// (the only one that waits) for an unknown field letter or a "/" at the end.
void TagViewer_window::report_template(const template_result& result)
{
    if (!result.failed())
        return;
    const bool waits = result.how == template_result::ending::unknown_field;
    const std::string letters = waits ? std::string() : std::string { result.field, '-' };
    std::string text = translated("Alerts",
        "Master,\nI do not understand your bidding!\nI'm confused by the /%1something.\n");
    if (size_t at = text.find("%1"); at != std::string::npos)
        text.replace(at, 2, letters);
    BAlert* alert = new BAlert(nullptr, text.c_str(), translated("Alerts", "I'll rephrase"));
    if (waits)
        alert->Go();
    else
        alert->Go(nullptr);
}

TagViewer_window::template_result TagViewer_window::expand_template(
    const name_rules& rules, bool* song_information)
{
    trace("new_name()\n");
    const std::string constructor = constructor_control->Text();
    new_name = "";

    const struct {
        char letter;
        const BString* tag;
        const BString* attr;
    } kFields[] = {
        { 'a', &artist_tag, &artist_attr },
        { 't', &title_tag, &title_attr },
        { 'l', &album_tag, &album_attr },
        { 'y', &year_tag, &year_attr },
        { 'c', &comment_tag, &comment_attr },
        { 'n', &track_tag, &track_attr },
    };
    const auto wrong_source = [](char field) {
        return template_result { template_result::ending::wrong_source, field };
    };
    int inserted = 0, filled = 0;
    // Appends text as a name can hold it in the loaded file's folder.
    auto append = [this, &rules](std::string_view text) {
        std::string part;
        append_name_text(&part, text, rules);
        new_name += part.c_str();
    };

    size_t at = 0;
    auto take = [&]() -> int { return at < constructor.size() ? constructor[at++] : -1; };
    while (at < constructor.size()) {
        char single[2] = { constructor[at++], '\0' };
        trace("constructor: %s\n", constructor.c_str() + at);
        trace("single_char: %s\n", single);
        if (single[0] != '/') {
            append(std::string_view(single, 1));
            trace("new_name: %s\n", new_name.String());
            continue;
        }

        int field = take();
        if (field == 'g') {
            if (take() != 't')
                return wrong_source('g');
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
                return wrong_source(entry.letter);
            const BString& value = source == 't' ? *entry.tag : *entry.attr;
            append(value.String());
            inserted++;
            filled += value.Length() > 0 ? 1 : 0;
            trace("new_name: %s\n", new_name.String());
            break;
        }
        if (!known)
            return template_result { template_result::ending::unknown_field };
    }
    std::string name = new_name.String();
    fit_name(&name, rules);
    new_name = name.c_str();
    trace("new_name: %s\n", new_name.String());
    const bool song = inserted == 0 || filled > 0;
    if (song_information != nullptr)
        *song_information = song;
    preview_view->SetText(song ? new_name.String() : name_view->Text());
    return template_result {};
}
