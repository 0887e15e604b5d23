// window/loading.cpp: loading the current file's name, tag and attributes, and the position text.
#include "window/TagViewer_window.h"

#include "platform/Alert.h"
#include "platform/Entry.h"
#include "platform/Node.h"
#include "platform/Path.h"
#include "platform/Trace.h"
#include "tag/Mp3Tag.h"

#include <string>

namespace
{

void alert_and_wait(const char* text)
{
    beep();
    (new BAlert(nullptr, text, "Oki"))->Go();
}

} // namespace

void TagViewer_window::read_file()
{
    load_file(true);
}

TagViewer_window::template_failure TagViewer_window::load_file(bool announce)
{
    trace("read_tags()\n");
    entry_ref ref = file_refs[position];

    BEntry entry;
    BPath path;
    if (entry.SetTo(&ref, false) != B_OK || path.SetTo(&entry) != B_OK)
        alert_and_wait("Orvalin:\nCould not read filename.\nPlease terminate program.");
    else
        name_view->SetText(path.Leaf());

    delete tag;
    tag = new Mp3Tag(&ref);
    if (tag->status != B_OK) {
        alert_and_wait("Orvalin:\nCould not read MP3-tags.\nPlease terminate program.");
    } else {
        title_tag = tag->title;
        artist_tag = tag->artist;
        album_tag = tag->album;
        year_tag = tag->year;
        comment_tag = tag->comment;
    }

    BNode node;
    if (node.SetTo(&ref) != B_OK) {
        alert_and_wait("Orvalin:\nCould not read attributes.\nPlease terminate program.");
    } else {
        const struct {
            const char* name;
            BString* variable;
        } kAttributes[] = {
            { "Title", &title_attr },
            { "Artist", &artist_attr },
            { "Album", &album_attr },
            { "Year", &year_attr },
            { "Comment", &comment_attr },
        };
        for (const auto& attribute : kAttributes) {
            attr_info info;
            last_status = node.GetAttrInfo(attribute.name, &info);
            if (last_status != B_OK) {
                *attribute.variable = "";
                continue;
            }
            char buffer[256];
            ssize_t read = node.ReadAttr(attribute.name, B_STRING_TYPE, 0, buffer, sizeof buffer);
            if (read < 1) {
                *attribute.variable = "";
                beep();
            } else {
                attribute.variable->SetTo(buffer, static_cast<int32>(read - 1));
            }
        }
    }

    template_failure failure = expand_template();
    if (announce)
        report_template(failure);
    trace("leaving read_file()\n");
    return failure;
}

void TagViewer_window::update_pos_view(int32 index)
{
    std::string text = std::to_string(index + 1) + "/" + std::to_string(file_refs.size());
    pos_view->SetText(text.c_str());
    trace("%s\n", text.c_str());
}
