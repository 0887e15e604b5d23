// platform/EntryTesting.h: a test seam for the no-replace rename (not for program code).
#pragma once

// Makes BEntry::Rename behave as on a file system that refuses RENAME_NOREPLACE, so that the
// link-and-unlink path can be tested on any file system. Off by default.
void entry_force_link_rename(bool force);

// Makes every BEntry::Rename wait this long first, as on a slow stick or network share, so that
// a long "ALL" run can be tested with few files. 0 (the default) turns it off.
void entry_delay_renames(int microseconds);
