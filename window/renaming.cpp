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

void TagViewer_window::for_each_file(command run)
{
    if (!all_files) {
        // Loaded a while ago: the file's folder is looked at again, and the template expanded
        // again.
        shown.entry.SetTo(&file_refs[position], false);
        (this->*run)(shown, nullptr);
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
        expansion expanded;
        load_file(!template_failed, &expanded, index > 0);
        if (expanded.result.failed())
            template_failed = true;
        // Right after its load: the file as loaded, and the load's expansion where it was whole.
        if (!(this->*run)(shown, expanded.result.failed() ? nullptr : &expanded))
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
bool TagViewer_window::rena_one(loaded_file& file, const expansion* fresh)
{
    bool song_information = true;
    if (fresh != nullptr) {
        // The preview holds what the load expanded a moment ago.
        trace_text(fresh->trace);
        new_name = fresh->name;
        song_information = fresh->song_information;
    } else if (template_result result = expand_template(file.rules, &song_information);
               result.failed()) {
        report_template(result);
        return false;
    }
    if (!song_information) {
        trace("kept: no song information\n");
        if (!kept_beeped)
            beep();
        kept_beeped = true;
        return true;
    }
    rename(file);
    return true;
}

bool TagViewer_window::add3_one(loaded_file& file, const expansion*)
{
    new_name = name_view->Text();
    new_name << ".mp3";
    rename(file);
    return true;
}

bool TagViewer_window::rmv3_one(loaded_file& file, const expansion*)
{
    new_name = name_view->Text();
    if (int32 at = new_name.FindLast(".mp3"); at >= 0)
        new_name.Remove(at, 4);
    rename(file);
    return true;
}

void TagViewer_window::rename(loaded_file& file)
{
    trace("rename()\n");
    entry_ref ref = file_refs[position];
    BEntry& entry = file.entry;
    trace("renaming file\n");
    if (new_name == ref.name.c_str())
        return;

    // The platform refuses names that would leave the folder ("", ".", "..", "/" inside) with
    // B_BAD_VALUE and never replaces an existing file.
    // Only the file loaded last moves, not another that has taken its name since.
    status_t renamed = entry.Rename(new_name.String(), false, file.node);
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
