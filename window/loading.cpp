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

// Where to cut text to at most `limit` bytes (limit < text's length): at limit, unless the
// bytes before it are valid UTF-8 and the cut falls inside a character; then at that
// character's first byte, so that the name built from it stays valid.
int32 cut_at_character(std::string_view text, int32 limit)
{
    size_t at = 0;
    while (at < static_cast<size_t>(limit)) {
        size_t length = utf8_character_length(text.substr(at));
        if (length == 0)
            return limit;
        if (at + length > static_cast<size_t>(limit))
            return static_cast<int32>(at);
        at += length;
    }
    return limit;
}

} // namespace

void TagViewer_window::read_file()
{
    expansion expanded;
    load_file(true, &expanded);
}

void TagViewer_window::load_file(bool announce, expansion* expanded, bool in_run)
{
    trace("read_tags()\n");
    // The song loaded before is closed first: lowntfs-3g keeps a name unlinked from an open
    // file as a hidden ghost until no descriptor of the file is left open.
    // Files of one set mostly all store attributes or all lack them: the load reads them the
    // way that costs least for the kind the file before was.
    const bool stored = shown.song != nullptr && shown.song->StoresAttributes();
    shown.song.reset();
    shown = load_name(file_refs[position], stored, in_run ? &shown.entry : nullptr);
    load_tag(shown);
    load_attributes(shown);
    *expanded = load_preview(announce);
    trace("leaving read_file()\n");
}

// The entry and its name, the song opened from that entry in the same look (the node found
// under the name is the one loaded), and the rules of the folder's names.
TagViewer_window::loaded_file TagViewer_window::load_name(
    const entry_ref& ref, bool stored, const BEntry* before)
{
    loaded_file file;
    BPath path;
    status_t set = before != nullptr ? file.entry.SetTo(&ref, *before) : file.entry.SetTo(&ref);
    if (set != B_OK || path.SetTo(&file.entry) != B_OK) {
        alert_and_wait(
            translated("Alerts", "Orvalin:\nCould not read filename.\nPlease terminate program."));
    } else {
        name_view->SetText(path.Leaf());
    }
    file.song = std::make_unique<BFile>();
    (void)Mp3Tag::OpenSong(*file.song, file.entry, &file.node, &file.song_size, &file.write_status);
    file.song->ExpectAttributes(stored);
    // Unknown rules (the folder has gone) leave names as they are built.
    (void)get_name_rules(ref, &file.rules);
    return file;
}

// The tag record's texts, read from the loaded song.
void TagViewer_window::load_tag(loaded_file& file)
{
    delete tag;
    tag = new Mp3Tag(*file.song, file.song_size, file.write_status);
    if (tag->status != B_OK) {
        alert_and_wait(
            translated("Alerts", "Orvalin:\nCould not read MP3-tags.\nPlease terminate program."));
        return;
    }
    // ID3v1 texts are ISO-8859-1 by definition, but writers put Windows-1252 or UTF-8 there: a
    // name built from them is one people and file systems can read.
    const struct {
        const char* text;
        size_t field; // the length of the text's field in the tag
        BString* variable;
    } texts[] = {
        { tag->title, 30, &title_tag },
        { tag->artist, 30, &artist_tag },
        { tag->album, 30, &album_tag },
        { tag->year, 4, &year_tag },
        { tag->comment, 30, &comment_tag },
    };
    for (const auto& text : texts) {
        std::string utf8 = utf8_of_id3v1(text.text, text.field);
        text.variable->SetTo(utf8.data(), static_cast<int32>(utf8.size()));
    }
    track_tag = tag->track != 0 ? track_text(std::to_string(tag->track)).c_str() : "";
}

// The song attributes, read from the loaded song; a name the song could not be opened under
// (a FIFO, a file we may not read) has its attributes read by path.
void TagViewer_window::load_attributes(loaded_file& file)
{
    BNode own;
    BNode* node = file.song.get();
    if (node->InitCheck() != B_OK) {
        node = &own;
        own.SetTo(&file_refs[position]);
    }
    if (node->InitCheck() != B_OK) {
        alert_and_wait(translated(
            "Alerts", "Orvalin:\nCould not read attributes.\nPlease terminate program."));
        return;
    }
    const struct {
        const char* attribute;
        BString* variable;
    } attributes[] = {
        { "Title", &title_attr },
        { "Artist", &artist_attr },
        { "Album", &album_attr },
        { "Year", &year_attr },
        { "Comment", &comment_attr },
        { "Track", &track_attr },
    };
    // A name takes 255 bytes of an attribute. Three bytes past them hold whole any UTF-8
    // character that the cut splits.
    const int32 kLimit = 255;
    char buffer[kLimit + 1 + 3];
    for (const auto& attribute : attributes) {
        ssize_t read = node->ReadAttr(attribute.attribute, B_STRING_TYPE, 0, buffer, sizeof buffer);
        last_status = read < 0 ? static_cast<status_t>(read) : B_OK;
        if (read < 0) {
            *attribute.variable = "";
        } else if (read == 0) {
            // It exists, but holds nothing.
            *attribute.variable = "";
            beep();
        } else if (read <= kLimit + 1) {
            attribute.variable->SetTo(buffer, static_cast<int32>(read - 1));
        } else {
            const std::string_view text(buffer, static_cast<size_t>(read));
            attribute.variable->SetTo(buffer, cut_at_character(text, kLimit));
        }
    }
    track_attr = track_text(track_attr.String()).c_str();
}

// The template expanded for the loaded file, into the name and the preview; its failure told
// only when announce is set. Its trace is kept whole, for a rename right after to play back.
TagViewer_window::expansion TagViewer_window::load_preview(bool announce)
{
    expansion expanded;
    trace_record(&expanded.trace);
    expanded.result = expand_template(shown.rules, &expanded.song_information);
    trace_record(nullptr);
    trace_text(expanded.trace);
    expanded.name = new_name;
    if (announce)
        report_template(expanded.result);
    return expanded;
}

void TagViewer_window::update_pos_view(int32 index)
{
    std::string text = std::to_string(index + 1) + "/" + std::to_string(file_refs.size());
    pos_view->SetText(text.c_str());
    trace("%s\n", text.c_str());
}
