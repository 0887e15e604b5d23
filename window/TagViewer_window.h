// window/TagViewer_window.h: the renaming window: its state and the operations on it.
#pragma once

#include "platform/layout/Layout.h"
#include "platform/storage/Entry.h"
#include "platform/storage/File.h"
#include "platform/support/String.h"
#include "platform/support/SupportDefs.h"

#include <deque>
#include <memory>
#include <string>
#include <string_view>

class BMessage;
class Mp3Tag;

// The six button commands.
enum : uint32 {
    CMD_NEXT = 'next',
    CMD_PREV = 'prev',
    CMD_ABOUT = 'abou',
    CMD_RENAME = 'rena',
    CMD_REMOVE_MP3 = 'rmv3',
    CMD_ADD_MP3 = 'add3',
};

extern const char* const kInitialTemplate; // "/aa - /ta - /la.mp3"
extern const char* const kSettingsName; // "Kelterhof-Orvalin"

// The About alert; waits for its button.
void myAboutWindow();

class TagViewer_window : public MWindow
{
public:
    // Builds the window on the files of msg (whose "refs" the intake consumes), loads the first
    // accepted file and restores the stored position and template. Check CountFiles() before
    // showing it: a window without files has nothing to show.
    TagViewer_window(BRect frame, BMessage* msg);
    ~TagViewer_window() override;

    void MessageReceived(BMessage* msg) override;

    int32 CountFiles() const { return static_cast<int32>(file_refs.size()); }

    // Intake, loading and the status trace.
    void get_refs(BMessage* msg);
    void read_file();
    void update_pos_view(int32 index);
    void error_check(const char* prefix, status_t status);

    // Naming and the renaming commands.
    void newName();
    void rena();
    void add3();
    void rmv3();

    // Window state, in its design order; public so tests can check it.
    status_t last_status = B_OK;
    std::deque<entry_ref> file_refs;
    int32 position = 0;
    Mp3Tag* tag = nullptr;
    BString title_attr, artist_attr, album_attr, year_attr, comment_attr;
    BString title_tag, artist_tag, album_tag, year_tag, comment_tag;
    BString track_tag, track_attr; // "/nt" and "/na", zero-padded as names sort: "07"
    BString new_name;
    bool all_files = false;
    MStringView* pos_view = nullptr;
    MStringView* name_view = nullptr;
    MTextControl* constructor_control = nullptr;
    MStringView* preview_view = nullptr;

private:
    // How an expansion of the template ended: expanded whole, or stopped at a field letter
    // followed by a wrong source letter (its alert names them: "a-" to "n-", and "g-" for a
    // "/g" without its "t"), or at an unknown field letter or a "/" at the end (the general
    // alert, the only one that waits).
    struct template_result {
        enum class ending { expanded, wrong_source, unknown_field };
        ending how = ending::expanded;
        char field = 0; // the field letter, where the source letter after it was wrong

        bool failed() const { return how != ending::expanded; }
    };
    // A load's expansion, as the rename right after it in an "ALL" run takes it instead of
    // expanding the same template with the same texts again: how it ended, the name, whether
    // it inserted song information (see expand_template), and its trace, whole, to play back.
    struct expansion {
        template_result result;
        BString name;
        bool song_information = true;
        std::string trace;
    };
    // What a load found: the entry it looked at (its folder checked then), the node it found
    // under the name (unknown where the entry could not be read), what names the folder takes,
    // and the song opened from that entry, held open until the next load so that its node
    // keeps its identity. A rename moves only that node, not a file that has taken its name
    // since.
    struct loaded_file {
        BEntry entry;
        node_ref node;
        name_rules rules;
        std::unique_ptr<BFile> song;
        off_t song_size = 0; // its size when it was opened
        status_t write_status = B_OK; // why the song is open read-only, where it is
    };

    void build_views();
    void read_settings();
    void write_settings();

    // Expands the template into new_name, cleaned to rules, and, when it succeeds, into the
    // preview. Shows nothing: the caller decides whether the failure is told.
    // *song_information is false where the template inserts variables and every one came out
    // empty: the file then keeps its name, which the preview shows.
    template_result expand_template(const name_rules& rules, bool* song_information = nullptr);
    static void report_template(const template_result& result);
    // A track number's text as names sort: "7/120" gives "007" (naming.cpp).
    static std::string track_text(std::string_view text);
    // Loads the current file into shown and the window's variables, telling a failed expansion
    // only when announce is set; the expansion in *expanded. in_run: the file loaded before is
    // the previous one of the same "ALL" run.
    void load_file(bool announce, expansion* expanded, bool in_run = false);
    // The load's steps (loading.cpp): the entry, its name and the song opened from it; the tag
    // record's texts; the attributes; the preview. stored: the file loaded before stored
    // attributes; before: that file's entry, loaded a moment ago in the same run.
    loaded_file load_name(const entry_ref& ref, bool stored, const BEntry* before);
    void load_tag(loaded_file& file);
    void load_attributes(loaded_file& file);
    expansion load_preview(bool announce);

    void step(int32 direction);
    void announce_slots();
    void toggle_all();
    // A renaming command on one file: the file as the window has it, and the load's expansion
    // where the load has just made it (null: expanded again). False ends an "ALL" run.
    using command = bool (TagViewer_window::*)(loaded_file& file, const expansion* fresh);
    // Runs command on the current file, or on every file in "ALL" mode, each right after its
    // load; a command that returns false ends the loop.
    void for_each_file(command run);
    bool rena_one(loaded_file& file, const expansion* fresh);
    bool add3_one(loaded_file& file, const expansion* fresh);
    bool rmv3_one(loaded_file& file, const expansion* fresh);
    // Renames file to new_name: only the node it loaded moves.
    void rename(loaded_file& file);

    // The file the window shows, as its last load found it.
    loaded_file shown;
    // An "ALL" rename beeps once, at the first file kept for want of song information.
    bool kept_beeped = false;
};
