// window/naming.cpp: expanding the name template for the current file.
#include "window/TagViewer_window.h"

#include "platform/app/Catalog.h"
#include "platform/interface/Alert.h"
#include "platform/support/Trace.h"

#include <string>

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
    std::string text = translated("Alerts",
        "Master,\nI do not understand your bidding!\nI'm confused by the /%1something.\n");
    if (size_t at = text.find("%1"); at != std::string::npos)
        text.replace(at, 2, failure);
    BAlert* alert = new BAlert(nullptr, text.c_str(), translated("Alerts", "I'll rephrase"));
    if (waits)
        alert->Go();
    else
        alert->Go(nullptr);
}

TagViewer_window::template_failure TagViewer_window::expand_template()
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
            new_name += source == 't' ? *entry.tag : *entry.attr;
            trace("new_name: %s\n", new_name.String());
            break;
        }
        if (!known)
            return "";
    }
    trace("new_name: %s\n", new_name.String());
    preview_view->SetText(new_name.String());
    return nullptr;
}
