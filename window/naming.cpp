// window/naming.cpp: expanding the name template for the current file.
#include "window/TagViewer_window.h"

#include "platform/Alert.h"
#include "platform/Trace.h"

#include <string>

namespace
{

// The template's alerts: one per field letter whose source letter is wrong, and a general one
// (the only one that waits) for an unknown field letter or a "/" at the end.
void confused_by(const char* what, bool waits, bool quiet)
{
    if (quiet)
        return;
    std::string text
        = std::string("Master,\nI do not understand your bidding!\nI'm confused by the /") + what
        + "something.\n";
    BAlert* alert = new BAlert(nullptr, text.c_str(), "I'll rephrase");
    if (waits)
        alert->Go();
    else
        alert->Go(nullptr);
}

} // namespace

void TagViewer_window::newName()
{
    name_built = expand_template();
}

bool TagViewer_window::expand_template()
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
    };

    size_t at = 0;
    auto take = [&]() -> int { return at < constructor.size() ? constructor[at++] : -1; };
    while (at < constructor.size()) {
        char single[2] = { constructor[at++], '\0' };
        trace("constructor: %s\n", constructor.c_str() + at);
        trace("single_char: %s\n", single);
        if (single[0] != '/') {
            new_name += single[0];
            trace("new_name: %s\n", new_name.String());
            continue;
        }

        int field = take();
        if (field == 'g') {
            if (take() != 't') {
                confused_by("g-", false, quiet_template);
                return false;
            }
            trace("new_name: %s\n", new_name.String());
            continue;
        }
        bool known = false;
        for (const auto& entry : kFields) {
            if (entry.letter != field)
                continue;
            known = true;
            int source = take();
            if (source != 't' && source != 'a') {
                confused_by(entry.alert, false, quiet_template);
                return false;
            }
            new_name += source == 't' ? *entry.tag : *entry.attr;
            trace("new_name: %s\n", new_name.String());
            break;
        }
        if (!known) {
            confused_by("", true, quiet_template);
            return false;
        }
    }
    trace("new_name: %s\n", new_name.String());
    preview_view->SetText(new_name.String());
    return true;
}
