// platform/storage/RenameRecovery.h: at start, finishes or removes what a killed rename left behind
// in the folders of the files the program is given.
#pragma once

#include <map>
#include <set>
#include <string>
#include <sys/types.h>
#include <tuple>
#include <utility>

// What the recovery of one folder did; every action is also traced, one line each.
struct recovery_report {
    int finished = 0; // temporary names moved to the name they were going to
    int duplicates = 0; // temporary names removed: their file was already under its name
    int placeholders = 0; // placeholders removed
    int kept = 0; // temporary names left as they are: the name they were going to is taken
    // Temporary name -> the name its file is under now, for every finished or duplicate one.
    std::map<std::string, std::string> moved;
};

// Recovers the folder at folderPath:
// - a placeholder a killed plain rename left (an empty regular file with the placeholder time,
//   or one its run had noted but not yet marked, see PlaceholderJournal.h,
//   and no other name) is removed, after checking once more that it is still as it was made;
//   so is an empty file under a temporary name, or under the name a temporary name holding a
//   song was going to, dated or not: the temporary name tells whose it is;
// - a regular file under a temporary name "X.orvalin-renaming[-N]" is moved to X when X is
//   free, never replacing anything; when X already names the same file (a killed link and
//   unlink leaves both names), the temporary name is removed; otherwise it stays.
// No other entry is touched. A folder that cannot be read is left as it is.
recovery_report recover_folder(const std::string& folderPath);

// Recovers each folder of the launch arguments once, before they become references.
class RenameRecovery
{
public:
    // Recovers the folder of path, unless done already; a path that named a temporary name the
    // recovery finished becomes the path of the name its file is under now.
    void Visit(std::string* path);

private:
    std::set<std::pair<dev_t, ino_t>> fDone;
    // (device, folder inode, temporary name) -> the name its file is under now.
    std::map<std::tuple<dev_t, ino_t, std::string>, std::string> fMoved;
};
