// window/loading.cpp: loading the current file's name, tag and attributes, and the position text.
#include "window/TagViewer_window.h"

#include "platform/app/Catalog.h"
#include "platform/interface/Alert.h"
#include "platform/storage/Entry.h"
#include "platform/storage/File.h"
#include "platform/storage/Node.h"
#include "platform/storage/Path.h"
#include "platform/support/Trace.h"
#include "platform/support/Utf8.h"
#include "tag/Mp3Tag.h"

#include <string>

namespace
{

void alert_and_wait(const char* text)
{
    beep();
    (new BAlert(nullptr, text, translated("Alerts", "Oki")))->Go();
}

// The number of bytes a UTF-8 character with this lead byte has, or 0 for a byte that cannot
// start one.
int utf8_length(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

// Where to cut the first `known` bytes of a text to at most `limit` bytes (limit < known): at
// limit, unless the bytes are valid UTF-8 and the cut falls inside a character; then at that
// character's first byte, so that the name built from it stays valid.
int32 cut_at_character(const char* text, int32 known, int32 limit)
{
    int32 at = 0;
    while (at < known) {
        int length = utf8_length(static_cast<unsigned char>(text[at]));
        if (length == 0)
            return limit;
        for (int i = 1; i < length; i++)
            if (at + i < known && (static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80)
                return limit;
        if (at + length > limit)
            return at;
        at += length;
    }
    return limit;
}

struct SongField {
    const char* tagText; // null for the track, whose tag value is a number
    size_t tagField; // the length of the text's field in the tag
    BString* tagVariable;
    const char* attribute;
    BString* attrVariable;
};

} // namespace

void TagViewer_window::read_file()
{
    load_file(true);
}

TagViewer_window::template_failure TagViewer_window::load_file(bool announce)
{
    trace("read_tags()\n");
    entry_ref ref = file_refs[position];

    BEntry& entry = loaded_entry;
    BPath path;
    loaded_node = node_ref();
    if (entry.SetTo(&ref, false) != B_OK || path.SetTo(&entry) != B_OK) {
        alert_and_wait(
            translated("Alerts", "Orvalin:\nCould not read filename.\nPlease terminate program."));
    } else {
        name_view->SetText(path.Leaf());
        (void)entry.GetNodeRef(&loaded_node);
    }
    // Unknown rules (the folder has gone) leave names as they are built.
    (void)get_name_rules(ref, &loaded_rules);

    delete tag;
    tag = new Mp3Tag(&ref);
    // The song fields: the tag record's text and its variable, the attribute and its.
    const SongField fields[] = {
        { tag->title, 30, &title_tag, "Title", &title_attr },
        { tag->artist, 30, &artist_tag, "Artist", &artist_attr },
        { tag->album, 30, &album_tag, "Album", &album_attr },
        { tag->year, 4, &year_tag, "Year", &year_attr },
        { tag->comment, 30, &comment_tag, "Comment", &comment_attr },
        { nullptr, 0, &track_tag, "Track", &track_attr },
    };
    if (tag->status != B_OK) {
        alert_and_wait(
            translated("Alerts", "Orvalin:\nCould not read MP3-tags.\nPlease terminate program."));
    } else {
        // ID3v1 texts are ISO-8859-1 by definition, but writers put Windows-1252 or UTF-8
        // there: a name built from them is one people and file systems can read.
        for (const SongField& field : fields) {
            if (field.tagText == nullptr)
                continue;
            std::string utf8 = utf8_of_id3v1(field.tagText, field.tagField);
            field.tagVariable->SetTo(utf8.data(), static_cast<int32>(utf8.size()));
        }
        track_tag = tag->track != 0 ? track_text(std::to_string(tag->track)).c_str() : "";
    }

    // The tag record's open file serves the attributes too: one descriptor per load. Only a
    // file the record could not open at all is opened again here.
    BNode own;
    BNode* node = tag->file;
    if (node == nullptr || node->InitCheck() != B_OK) {
        node = &own;
        own.SetTo(&ref);
    }
    if (node->InitCheck() != B_OK) {
        alert_and_wait(translated(
            "Alerts", "Orvalin:\nCould not read attributes.\nPlease terminate program."));
    } else {
        for (const SongField& field : fields) {
            attr_info info;
            last_status = node->GetAttrInfo(field.attribute, &info);
            if (last_status != B_OK) {
                *field.attrVariable = "";
                continue;
            }
            char buffer[256];
            ssize_t read = node->ReadAttr(field.attribute, B_STRING_TYPE, 0, buffer, sizeof buffer);
            if (read < 1) {
                *field.attrVariable = "";
                beep();
            } else {
                // A full buffer holds one byte past the cut: enough to see a split character.
                int32 length = static_cast<int32>(read - 1);
                if (read == sizeof buffer)
                    length = cut_at_character(buffer, static_cast<int32>(read), length);
                field.attrVariable->SetTo(buffer, length);
            }
        }
        track_attr = track_text(track_attr.String()).c_str();
    }

    expansion_trace.clear();
    trace_record(&expansion_trace);
    template_failure failure = expand_template(&expansion_song_information);
    trace_record(nullptr);
    expansion_recorded = failure == nullptr;
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
