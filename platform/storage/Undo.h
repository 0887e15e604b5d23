// platform/storage/Undo.h: puts back the names an earlier run gave, from that run's journal.
#pragma once

#include "platform/support/SupportDefs.h"

#include <string>
#include <vector>

struct journal_file;

// What an undo did.
struct undo_report {
    bool found = false; // a finished run that renamed something was there to undo
    bool journaled = true; // that run could journal every step
    bool intact = true; // its journal read whole, every record of it sound
    bool open_skipped = false; // a run still open (its window) has renamed too: left alone
    int64 put_back = 0; // files now under their old names
    int64 left = 0; // files left as they are
    // The names the files left as they are have now, in the order they were renamed; at most
    // kUndoListed of them.
    std::vector<std::string> left_names;
};

enum { kUndoListed = 10 };

// Puts back the names of the most recent finished run that renamed anything: the newest journal
// holding a rename whose writer is gone (one that an undo killed midway was putting back is
// taken up again). Last rename first, each file only where the entry under its new name is
// still the file journaled (device and inode; size and modification time where journaled) and
// its old name is free, never replacing, inside its recorded folder found by its identity. A
// file already under its old name counts as put back. The undo's renames are journaled, so an
// undo can be undone in turn. Each file left as it is goes in the trace with the reason.
undo_report undo_last_run();

// Puts back the names journal's renames gave, into *report (as undo_last_run does, for one
// journal, without marking this run as an undo).
void undo_journal(const journal_file& journal, undo_report* report);
