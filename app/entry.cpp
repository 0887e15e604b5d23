// app/entry.cpp: the program's two roles: the add-on role on the files given as arguments, and
// the application role (About alert, then quit) without arguments.
#include "app/Orvalin.h"

#include "platform/Alert.h"
#include "platform/Application.h"
#include "platform/Message.h"
#include "platform/Trace.h"

#include <cstring>
#include <string>

const char* const kSignature = "application/x-vnd.Kelterhof-Orvalin";

namespace
{

int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The local path of an argument: a path as it stands, or the decoded path of a file:// URI
// (with an empty host or "localhost"). False for a URI that names no local file.
bool local_path(const char* argument, std::string* path)
{
    const char* kScheme = "file://";
    if (std::strncmp(argument, kScheme, std::strlen(kScheme)) != 0) {
        *path = argument;
        return true;
    }
    std::string rest = argument + std::strlen(kScheme);
    size_t slash = rest.find('/');
    if (slash == std::string::npos)
        return false;
    std::string host = rest.substr(0, slash);
    if (!host.empty() && host != "localhost")
        return false;
    path->clear();
    for (size_t i = slash; i < rest.size(); i++) {
        int high, low;
        if (rest[i] == '%' && i + 2 < rest.size() && (high = hex_value(rest[i + 1])) >= 0
            && (low = hex_value(rest[i + 2])) >= 0) {
            *path += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            *path += rest[i];
        }
    }
    return true;
}

} // namespace

int orvalin_main(int argc, char** argv)
{
    if (argc > 1) {
        // The add-on role: the file manager's selection arrives as arguments. There is no
        // application object here, only the toolkit the window needs.
        ensure_gui();
        BMessage selection(B_REFS_RECEIVED);
        for (int i = 1; i < argc; i++) {
            std::string path;
            entry_ref ref;
            // An argument that names no reachable file is rejected like any other file.
            if (!local_path(argv[i], &path) || get_ref_for_path(path.c_str(), &ref) != B_OK)
                beep();
            else
                selection.AddRef("refs", &ref);
        }
        bool anyFile = selection.HasRef("refs", 0);
        process_refs(entry_ref(), &selection, nullptr);
        // With nothing to hand over the launcher only beeps; say why as well.
        if (!anyFile)
            no_mpeg_files_alert();
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
