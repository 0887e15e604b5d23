// platform/storage/rename/Journal.h: the process's write-ahead journal of what its renames leave
// behind and of the renames themselves, and the reader of earlier runs' journals (recovery and
// undo).
#pragma once

#include "platform/storage/rename/NodeRef.h"
#include "platform/support/SupportDefs.h"

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

// One step, appended with write(2) before it is taken, so that a kill cannot lose it.
enum class journal_step : uint8_t {
    rename = 1, // `from` (the file `file`) is about to be renamed to `to`: what undo puts back
    placeholder = 2, // an empty placeholder is about to be made under `to` (`file`: the song)
    placeholder_made = 3, // the placeholder under `to` is the node `file`
    temporary = 4, // `from` (the file `file`) is about to move to the temporary name `to`
    link = 5, // `from` (the file `file`) is about to be linked as `to`, then unlinked
    done = 6, // the rename from `from` to `to` is over: nothing of it is left to recover
              // (without names: every rename before it is; a later start recovered them)
    not_journaled = 7, // a record could not be written: what follows in this run is missing
    undo = 8, // this run puts back the names that the run of the journal named `from` gave
    undone = 9, // this run's undo is over (an undo whose journal lacks it was killed)
};

// One record: the folder by its identity and path, leaf names (never a "/"), and the identity of
// the file concerned (device and inode; size and times where inode numbers do not identify it).
struct journal_record {
    journal_step step = journal_step::rename;
    dev_t folder_device = 0;
    ino_t folder_node = 0;
    std::string folder_path;
    std::string from;
    std::string to;
    node_ref file;
};

// The process's own journal, made on its first record in $XDG_STATE_HOME/orvalin (default
// ~/.local/state/orvalin, the home as home_directory() finds it; the folder is program_leaf())
// and locked exclusively while the process lives. A journal that cannot be
// written never stops a rename: the first failure is traced once and later appends do nothing.
// Every record reaches the kernel (write(2)) before journal_append returns, except the `done`
// of a rename that journaled no step: it goes out with the next record, or at the next sync.
// B_OK, or the status of the failure (already traced).
[[nodiscard]] status_t journal_append(const journal_record& record);

// Makes what was appended durable (fdatasync) before it returns: at the end of each command.
// Between commands, a thread of the journal's own syncs it at most 100 ms after an append, so
// that an append never waits for the disk.
void journal_sync();

// The path of this process's journal, or empty while it has none.
std::string journal_own_path();

// A journal of an earlier run, as the reader found it.
struct journal_file {
    std::string path;
    bool writer_alive = false; // its lock is held: the run is still going
    bool intact = true; // every byte read as a whole record
    bool journaled = true; // the run could write every record (no `not_journaled`)
    std::vector<journal_record> records; // the records that read whole, in order
};

// The journals in the state folder that are regular files owned by this user, newest first,
// this process's own left out; each read bounded (a size or count is checked against the bytes
// there before anything is allocated) and stopped at the first record that does not read whole.
std::vector<journal_file> journal_list();

// The folder the calling thread renames in while the scope lives: the steps taken there
// (journal_note) are journaled with its identity and path.
class journal_folder_scope
{
public:
    journal_folder_scope(dev_t device, ino_t node, const std::string& path);
    ~journal_folder_scope();
    journal_folder_scope(const journal_folder_scope&) = delete;
    journal_folder_scope& operator=(const journal_folder_scope&) = delete;

    const journal_folder_scope* const outer; // the scope this one is within, or null
    const dev_t device;
    const ino_t node;
    const std::string& path;
};

// Appends step from `from` to `to` for the file `file` in the calling thread's folder (above);
// nothing outside a scope.
void journal_note(journal_step step, const char* from, const char* to, const struct stat& file);

// The identity of the node st describes, with its size and times.
node_ref journal_identity(const struct stat& st);

// Finishes or removes what the runs whose writer is gone left behind, from their journals alone,
// each only where the file is still the one recorded and inside its recorded folder, found by its
// identity. Traces what it does. Cost: the journals, never the size of a folder.
void journal_recover();
