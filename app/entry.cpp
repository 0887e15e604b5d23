// app/entry.cpp: the program's roles: the add-on role on the files given as arguments, the
// application role (About alert, then quit) without arguments, and the undo role ("--undo").
#include "app/Orvalin.h"

#include "platform/app/Application.h"
#include "platform/app/Message.h"
#include "platform/interface/Alert.h"
#include "platform/storage/Uri.h"
#include "platform/storage/rename/Journal.h"
#include "platform/support/ProgramName.h"
#include "platform/support/Trace.h"

#include <cstdio>
#include <cstring>
#include <string>

const char* const kSignature = "application/x-vnd.Kelterhof-Orvalin";

namespace
{

// The local path of an argument: a path as it stands, or the decoded path of a file:// URI.
// False for a URI that names no local file.
bool local_path(const char* argument, std::string* path)
{
    if (!is_file_uri(argument)) {
        *path = argument;
        return true;
    }
    return local_path_of_uri(argument, path);
}

} // namespace

int orvalin_main(int argc, char** argv)
{
    // The names every kit writes for the program come from its signature, here and nowhere else.
    if (set_program_signature(kSignature) != B_OK)
        return 1;
    // The one option, "--undo", stands before the files; "--" ends the options. Every other
    // argument is a file: what follows is the argument list without the options.
    bool undo = false;
    int options = 0;
    for (; options + 1 < argc; options++) {
        if (std::strcmp(argv[options + 1], "--undo") == 0) {
            undo = true;
        } else {
            if (std::strcmp(argv[options + 1], "--") == 0)
                options++;
            break;
        }
    }
    argc -= options;
    argv += options;
    if (undo) {
        if (argc > 1) {
            std::fprintf(stderr, "usage: orvalin [--] [FILE...]\n       orvalin --undo\n");
            return 2;
        }
        return undo_last_renaming();
    }

    if (argc > 1) {
        // The add-on role: the file manager's selection arrives as arguments. There is no
        // application object here, only the toolkit the window needs.
        ensure_gui();
        BMessage selection(B_REFS_RECEIVED);
        int32 elsewhere = 0;
        // What killed runs left behind is finished or removed first, from their journals.
        journal_recover();
        for (int i = 1; i < argc; i++) {
            std::string path;
            entry_ref ref;
            // An argument that names no reachable file is rejected like any other file; one
            // that is not on this computer's disks is listed, so the alert can say so.
            if (is_uri_elsewhere(argv[i])) {
                beep();
                selection.AddString(kElsewhereField, argv[i]);
                elsewhere++;
                continue;
            }
            bool local = local_path(argv[i], &path);
            if (!local || get_ref_for_path(path.c_str(), &ref) != B_OK)
                beep();
            else
                selection.AddRef("refs", &ref);
        }
        bool anyFile = selection.HasRef("refs", 0);
        process_refs(entry_ref(), &selection, nullptr);
        // With nothing to hand over the launcher only beeps; say why as well.
        if (!anyFile)
            no_mpeg_files_alert(argc - 1, elsewhere);
        trace_flush();
        return 0;
    }

    trace("\n");
    BApplication* application = new BApplication(kSignature);
    myAboutWindow();
    application->PostMessage(B_QUIT_REQUESTED);
    application->Run();
    delete application;
    trace_flush();
    return 0;
}
