// app/Orvalin.h: the entry points: the add-on call, the launcher, and the program's two roles
// (the About alert they show is the window's).
#pragma once

#include "platform/storage/Entry.h"
#include "window/TagViewer_window.h"

class BMessage;
struct undo_report;

extern const char* const kSignature; // "application/x-vnd.Kelterhof-Orvalin"

// The add-on entry: runs the window on the files of msg's "refs" and returns when it closes.
extern "C" void process_refs(entry_ref dir_ref, BMessage* msg, void* reserved);
// The launcher.
void window(BMessage* msg);
// The string field of a launch message that lists the given files that are not on this
// computer's disks (URIs such as trash:/// or sftp://), which have no ref.
extern const char* const kElsewhereField; // "elsewhere"
// The waiting alert shown when none of the given files is MPEG audio: given files in all, of
// which elsewhere were not on this computer's disks.
void no_mpeg_files_alert(int32 given = 0, int32 elsewhere = 0);
// The undo role, "orvalin --undo": puts back the names of the last renaming (undo_last_run)
// and shows what it did in one waiting alert, also traced. Returns the exit status.
int undo_last_renaming();
// A catalogue's lookup: the text (UTF-8) in some language, found under context; translated.
using translator = const char* (*)(const char* context, const char* text);
// The text of that alert, each of its texts through translate; null keeps them as written, in
// English, as the trace has them.
std::string undo_message(const undo_report& report, translator translate = nullptr);
// The whole program: with arguments (paths or file:// URIs) the add-on role, without the
// application role; "--undo" alone, the undo role ("--" ends the options: every other argument
// is a file). Returns the exit status.
int orvalin_main(int argc, char** argv);
