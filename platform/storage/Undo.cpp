// platform/storage/Undo.cpp: puts back the names an earlier run gave, from that run's journal.
#include "platform/storage/Undo.h"

#include "platform/storage/Entry.h"
#include "platform/storage/rename/FileSystemTraits.h"
#include "platform/storage/rename/Journal.h"
#include "platform/support/PathParts.h"
#include "platform/support/Trace.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <set>
#include <string_view>
#include <tuple>
#include <unistd.h>
#include <utility>

namespace
{

bool is_plain_leaf(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos
        && name.find('\0') == std::string::npos;
}

// A rename record a reader may act on: an absolute folder and two leaf names, none of them
// cut short by a NUL inside.
bool is_sound(const journal_record& record)
{
    return !record.folder_path.empty() && record.folder_path[0] == '/'
        && record.folder_path.find('\0') == std::string::npos && is_plain_leaf(record.from)
        && is_plain_leaf(record.to) && record.file.node != 0;
}

// Whether now is the file journaled as `recorded`: the same node, and where the journal took
// them, the same size and modification time (the rename itself changes the change time).
// Where inode numbers do not identify a file (FUSE numbers nodes as it meets paths, and numbers
// them again once the kernel has forgotten them), the same size and a modification time no
// earlier than journaled: a rename there may date the file anew (fusefat does).
bool is_journaled_file(const node_ref& now, const node_ref& recorded, bool pathInodes)
{
    if (now.device != recorded.device)
        return false;
    if (!pathInodes) {
        if (now.node != recorded.node)
            return false;
        if (!recorded.has_times || !now.has_times)
            return true;
        return now.size == recorded.size && now.modified.tv_sec == recorded.modified.tv_sec
            && now.modified.tv_nsec == recorded.modified.tv_nsec;
    }
    return recorded.has_times && now.has_times && now.size == recorded.size
        && (now.modified.tv_sec > recorded.modified.tv_sec
            || (now.modified.tv_sec == recorded.modified.tv_sec
                && now.modified.tv_nsec >= recorded.modified.tv_nsec));
}

bool holds(const journal_file& journal, journal_step step)
{
    return std::any_of(journal.records.begin(), journal.records.end(),
        [step](const journal_record& record) { return record.step == step; });
}

// The journal's folders, each found once by its recorded path and checked by its recorded
// identity; a reference into it holds it open, so a rename there needs no lookup of the path.
class Folders
{
public:
    // A reference to `name` in the record's folder; false when the folder is gone, unmounted,
    // or another folder has its path now. *pathInodes: whether inode numbers there fail to
    // identify a file.
    bool Ref(
        const journal_record& record, const std::string& name, entry_ref* ref, bool* pathInodes)
    {
        auto key = std::make_tuple(record.folder_device, record.folder_node, record.folder_path);
        auto found = fFolders.find(key);
        if (found == fFolders.end()) {
            Folder folder;
            const std::string path
                = record.folder_path == "/" ? "/" + name : record.folder_path + "/" + name;
            folder.same = get_ref_for_path(path.c_str(), &folder.ref) == B_OK
                && folder.ref.device == record.folder_device
                && folder.ref.directory == record.folder_node;
            if (folder.same) {
                int fd
                    = ::open(folder.ref.directory_path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
                folder.pathInodes = fd >= 0 && file_system_traits(fd).pathInodes;
                if (fd >= 0)
                    ::close(fd);
            }
            found = fFolders.emplace(std::move(key), std::move(folder)).first;
        }
        if (!found->second.same)
            return false;
        *ref = found->second.ref;
        ref->name = name;
        *pathInodes = found->second.pathInodes;
        return true;
    }

private:
    struct Folder {
        bool same = false;
        bool pathInodes = false;
        entry_ref ref;
    };
    std::map<std::tuple<dev_t, ino_t, std::string>, Folder> fFolders;
};

// Puts one rename back; nullptr when done (or the file is already under its old name), else
// why the file is left as it is.
const char* put_back(const journal_record& record, Folders* folders)
{
    entry_ref ref;
    bool pathInodes = false;
    if (!folders->Ref(record, record.to, &ref, &pathInodes))
        return "its folder is gone";
    BEntry entry(&ref);
    node_ref now;
    if (entry.GetNodeRef(&now) == B_OK && is_journaled_file(now, record.file, pathInodes)) {
        // Renamed again with the identity just seen: only this file moves, never over another.
        status_t status = entry.Rename(record.from.c_str(), false, now);
        if (status == B_OK)
            return nullptr;
        if (status == B_FILE_EXISTS)
            return "its old name is taken";
        if (status == B_ENTRY_NOT_FOUND)
            return "it changed since";
        return "it cannot be renamed";
    }
    // A run killed before this rename, or a name put back already.
    if (folders->Ref(record, record.from, &ref, &pathInodes)
        && BEntry(&ref).GetNodeRef(&now) == B_OK && is_journaled_file(now, record.file, pathInodes))
        return nullptr;
    return "it is not the file renamed, or it is gone";
}

} // namespace

void undo_journal(const journal_file& journal, undo_report* report)
{
    report->found = true;
    report->journaled = report->journaled && journal.journaled;
    report->intact = report->intact && journal.intact;

    // Each file by its identity: whether a later rename of it was left undone, in which case
    // the earlier ones are too (the file stays where that one left it).
    std::map<std::pair<dev_t, ino_t>, bool> left;
    std::vector<std::string> names; // last renamed first
    Folders folders;
    for (auto record = journal.records.rbegin(); record != journal.records.rend(); ++record) {
        if (record->step != journal_step::rename)
            continue;
        if (!is_sound(*record)) {
            report->intact = false;
            continue;
        }
        auto file = left.emplace(std::make_pair(record->file.device, record->file.node), false);
        if (file.first->second)
            continue;
        if (const char* why = put_back(*record, &folders)) {
            trace("undo: left \"%s\" in %s: %s\n", record->to.c_str(), record->folder_path.c_str(),
                why);
            file.first->second = true;
            names.push_back(record->to);
        }
    }
    const int64 files = static_cast<int64>(left.size());
    const int64 leftHere = static_cast<int64>(names.size());
    report->put_back += files - leftHere;
    report->left += leftHere;
    for (auto name = names.rbegin();
         name != names.rend() && report->left_names.size() < kUndoListed; ++name)
        report->left_names.push_back(*name);
}

undo_report undo_last_run()
{
    undo_report report;
    const std::vector<journal_file> journals = journal_list();
    // The newest run whose writer is gone that renamed something, or an undo that was killed
    // before it could finish (whose runs it goes on with).
    const journal_file* last = nullptr;
    bool killedUndo = false;
    for (const journal_file& journal : journals) {
        const bool renamed = holds(journal, journal_step::rename);
        const bool undoing
            = holds(journal, journal_step::undo) && !holds(journal, journal_step::undone);
        if (!renamed && !undoing)
            continue;
        if (journal.writer_alive) {
            report.open_skipped = report.open_skipped || renamed;
            continue;
        }
        last = &journal;
        killedUndo = undoing;
        break;
    }
    if (last == nullptr)
        return report;

    std::vector<const journal_file*> runs;
    if (killedUndo) {
        std::set<std::string> undoing;
        for (const journal_record& record : last->records)
            if (record.step == journal_step::undo)
                undoing.insert(record.from);
        for (const journal_file& journal : journals)
            if (undoing.count(std::string(path_leaf(journal.path))) != 0 && !journal.writer_alive)
                runs.push_back(&journal);
    }
    if (runs.empty())
        runs.push_back(last);

    // Marked before the first rename, so that an undo killed midway is taken up again.
    for (const journal_file* run : runs) {
        journal_record mark;
        mark.step = journal_step::undo;
        mark.from = path_leaf(run->path);
        (void)journal_append(mark);
    }
    for (const journal_file* run : runs) {
        trace("undo: %s\n", run->path.c_str());
        undo_journal(*run, &report);
    }
    journal_record over;
    over.step = journal_step::undone;
    (void)journal_append(over);
    journal_sync();
    return report;
}
