// window/settings.cpp: the window's position and template, kept from one run to the next.
#include "window/TagViewer_window.h"

#include "platform/AtomicFile.h"
#include "platform/File.h"
#include "platform/FindDirectory.h"
#include "platform/Message.h"
#include "platform/Path.h"

namespace
{

// The settings file's path, or false when the settings directory does not exist.
bool settings_path(BPath* path)
{
    if (find_directory(B_COMMON_SETTINGS_DIRECTORY, path, false) != B_OK)
        return false;
    BString directory = path->Path();
    path->SetTo(directory.String(), kSettingsName, false);
    return true;
}

} // namespace

void TagViewer_window::read_settings()
{
    BMessage settings;
    BPath path;
    if (settings_path(&path)) {
        BFile file(path.Path(), B_READ_ONLY);
        if (file.InitCheck() == B_OK)
            settings.Unflatten(&file);
    }

    BPoint where;
    if (settings.FindPoint("winloc", &where) == B_OK)
        MoveTo(where);
    BString constructor;
    if (settings.HasString("constructor", 0)
        && settings.FindString("constructor", 0, &constructor) == B_OK)
        constructor_control->SetText(constructor.String());
}

// The file is replaced atomically: a failed write leaves the previous settings intact rather
// than an emptied or partial file.
void TagViewer_window::write_settings()
{
    BMessage settings(0);
    settings.AddPoint("winloc", Frame().LeftTop());
    settings.AddString("constructor", constructor_control->Text());

    BPath path;
    if (!settings_path(&path))
        return;
    std::string bytes;
    if (settings.Flatten(&bytes) == B_OK)
        replace_file_atomically(path.Path(), bytes);
}
