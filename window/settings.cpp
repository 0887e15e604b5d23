// window/settings.cpp: the window's position and template, kept from one run to the next.
#include "window/TagViewer_window.h"

#include "platform/app/Message.h"
#include "platform/storage/AtomicFile.h"
#include "platform/storage/File.h"
#include "platform/storage/FindDirectory.h"
#include "platform/storage/Path.h"
#include "platform/support/DataIO.h"

#include <string>

namespace
{

// A settings file is a few dozen bytes; anything past this size was not written by the window.
const size_t kSettingsCap = 1024 * 1024;

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
        // A file too large to be ours is foreign: nothing in it is applied.
        BFile file(path.Path(), B_READ_ONLY);
        std::string bytes;
        if (file.InitCheck() == B_OK && read_capped(&file, kSettingsCap, &bytes) == B_OK)
            settings.Unflatten(bytes.data(), bytes.size());
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
    if (settings.Flatten(&bytes) != B_OK)
        return;
    // The window is closing and has no one left to tell: a failed replace keeps the previous
    // settings whole, and the next run starts from them.
    (void)replace_file_atomically(path.Path(), bytes);
}
