// window/TagViewer_window.h: the renaming window: its state and the operations on it.
#pragma once

#include "platform/layout/Layout.h"
#include "platform/storage/Entry.h"
#include "platform/support/String.h"
#include "platform/support/SupportDefs.h"

#include <deque>
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
    void rename();

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
    void build_views();
    void read_settings();
    void write_settings();

    // Why an expansion stopped: the letters its alert names ("a-" to "g-", or "" for the
    // general alert); null when the whole template was expanded.
    using template_failure = const char*;
    // Expands the template into new_name, cleaned for the loaded file's folder, and, when it
    // succeeds, into the preview. Shows nothing: the caller decides whether the failure is told.
    // *song_information is false where the template inserts variables and every one came out
    // empty: the file then keeps its name, which the preview shows.
    template_failure expand_template(bool* song_information = nullptr);
    static void report_template(template_failure failure);
    // A track number's text as names sort: "7/120" gives "007" (naming.cpp).
    static std::string track_text(std::string_view text);
    // read_file, telling a failed expansion only when announce is set.
    template_failure load_file(bool announce);

    void step(int32 direction);
    void announce_slots();
    void toggle_all();
    // Runs command on the current file, or on every file in "ALL" mode; a command that
    // returns false ends the loop.
    void for_each_file(bool (TagViewer_window::*command)());
    bool rena_one();
    bool add3_one();
    bool rmv3_one();

    // The node of the file loaded last (unknown when its entry could not be read): a rename
    // moves only that node, not another file that has taken its name since.
    node_ref loaded_node;
    // The entry of the file loaded last. In an "ALL" run each file's rename follows its load
    // at once, and that entry (whose folder the load has just checked) serves it; a rename
    // the user asks for later looks at the folder again.
    BEntry loaded_entry;
    bool entry_fresh = false;
    // The trace of the load's expansion of the template, whole. In an "ALL" run the rename
    // right after the load takes that expansion's name and plays its trace back, rather than
    // expanding the same template with the same texts again.
    std::string expansion_trace;
    bool expansion_recorded = false;
    // Whether that expansion inserted song information (see expand_template).
    bool expansion_song_information = true;
    bool expansion_fresh = false;
    // What names the loaded file's folder takes; the template's name is cleaned to them.
    name_rules loaded_rules;
    // An "ALL" rename beeps once, at the first file kept for want of song information.
    bool kept_beeped = false;
};
