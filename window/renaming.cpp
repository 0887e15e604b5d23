// window/renaming.cpp: the three renaming commands and the rename step they share.
#include "window/TagViewer_window.h"

#include "platform/app/Catalog.h"
#include "platform/interface/Alert.h"
#include "platform/storage/Entry.h"
#include "platform/storage/rename/Journal.h"
#include "platform/support/Trace.h"

void TagViewer_window::rena()
{
    kept_beeped = false;
    for_each_file(&TagViewer_window::rena_one);
}

void TagViewer_window::add3()
{
    for_each_file(&TagViewer_window::add3_one);
}

void TagViewer_window::rmv3()
{
    for_each_file(&TagViewer_window::rmv3_one);
}

void TagViewer_window::for_each_file(bool (TagViewer_window::*command)())
{
    if (!all_files) {
        (this->*command)();
        journal_sync();
        return;
    }
    int32 count = CountFiles();
    // The template cannot change during the loop, so once it has failed to expand, the loads
    // of the later files would repeat the same alert for every file (a waiting one among
    // them): they stay silent.
    bool template_failed = false;
    for (int32 index = 0; index < count; index++) {
        trace("rena:loop: %d\n", index);
        position = index;
        if (load_file(!template_failed) != nullptr)
            template_failed = true;
        entry_fresh = true;
        expansion_fresh = expansion_recorded;
        bool go_on = (this->*command)();
        entry_fresh = expansion_fresh = false;
        if (!go_on)
            break;
        UpdateIfNeeded();
    }
    // What the command journaled is durable before the next command.
    journal_sync();
}

// A template that cannot be expanded renames nothing: its alert has told the user, and the
// partial name would throw the file's name away. The error lies in the template alone, so in
// "ALL" mode every later file would fail alike and the loop ends here.
// A name without song information (every variable the template inserts is empty) would
// throw the file's name away for " - .mp3": the file keeps it, with one beep per command.
bool TagViewer_window::rena_one()
{
    bool song_information = true;
    if (expansion_fresh) {
        // new_name and the preview hold what the load expanded a moment ago.
        trace_text(expansion_trace);
        song_information = expansion_song_information;
    } else if (template_failure failure = expand_template(&song_information)) {
        report_template(failure);
        return false;
    }
    if (!song_information) {
        trace("kept: no song information\n");
        if (!kept_beeped)
            beep();
        kept_beeped = true;
        return true;
    }
    rename();
    return true;
}

bool TagViewer_window::add3_one()
{
    new_name = name_view->Text();
    new_name << ".mp3";
    rename();
    return true;
}

bool TagViewer_window::rmv3_one()
{
    new_name = name_view->Text();
    if (int32 at = new_name.FindLast(".mp3"); at >= 0)
        new_name.Remove(at, 4);
    rename();
    return true;
}

void TagViewer_window::rename()
{
    trace("rename()\n");
    entry_ref ref = file_refs[position];
    BEntry entry;
    if (entry_fresh)
        entry = loaded_entry;
    else
        entry.SetTo(&ref, false);
    trace("renaming file\n");
    if (new_name == ref.name.c_str())
        return;

    // The platform refuses names that would leave the folder ("", ".", "..", "/" inside) with
    // B_BAD_VALUE and never replaces an existing file.
    // Only the file loaded last moves, not another that has taken its name since.
    status_t renamed = entry.Rename(new_name.String(), false, loaded_node);
    last_status = renamed;
    entry_ref moved;
    if (renamed == B_OK) {
        last_status = entry.GetRef(&moved);
        if (last_status != B_OK) {
            beep();
            error_check("GetRef: ", last_status);
        } else {
            file_refs[position] = moved;
        }
    } else if (entry.GetRef(&moved) == B_OK && moved != ref) {
        // A failure midway left the file under another name: the list follows it.
        file_refs[position] = moved;
    }

    if (renamed == B_FILE_EXISTS) {
        (new BAlert(nullptr, translated("Alerts", "A file by that name already exists.\n"),
             translated("Alerts", "Ok")))
            ->Go();
    } else if (renamed != B_OK) {
        error_check("Rename: ", renamed);
        (new BAlert(nullptr,
             translated("Alerts",
                 "Dear Master,\nFor some obscure reason,\nyour wish can not be granted.\n"),
             translated("Alerts", "grumble")))
            ->Go(nullptr);
    }
}
