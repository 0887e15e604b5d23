// app/launcher.cpp: the add-on entry and the launcher that runs the window on a selection.
#include "app/Orvalin.h"

#include "platform/app/Catalog.h"
#include "platform/app/Message.h"
#include "platform/app/Window.h"
#include "platform/interface/Alert.h"
#include "platform/support/Trace.h"

extern "C" void process_refs(entry_ref /*dir_ref*/, BMessage* msg, void* /*reserved*/)
{
    window(msg);
}

const char* const kElsewhereField = "elsewhere";

void no_mpeg_files_alert(int32 given, int32 elsewhere)
{
    const char* text = translated("Alerts",
        "Orvalin:\nNone of the selected files is MPEG audio,\nso there is nothing to rename.");
    if (elsewhere > 0 && elsewhere >= given)
        text = translated("Alerts",
            "Orvalin:\nThe selected files are not on this computer's disks\n"
            "(they are in the Trash or in a place on the network),\n"
            "so Orvalin cannot rename them.");
    else if (elsewhere > 0)
        text = translated("Alerts",
            "Orvalin:\nSome of the selected files are not on this computer's disks\n"
            "(they are in the Trash or in a place on the network),\n"
            "and none of the others is MPEG audio,\nso there is nothing to rename.");
    (new BAlert(nullptr, text, translated("Alerts", "Oki")))->Go();
}

void window(BMessage* msg)
{
    trace("window()\n");
    entry_ref first;
    if (msg == nullptr || msg->FindRef("refs", 0, &first) != B_OK) {
        beep();
        return;
    }

    // The window's intake consumes the refs of the message it is given; the caller's stays whole.
    TagViewer_window* viewer;
    {
        BMessage launch(*msg);
        viewer = new TagViewer_window(BRect(100, 100, 101, 101), &launch);
    }
    if (viewer->CountFiles() == 0) {
        delete viewer;
        type_code type;
        int32 refs = 0, elsewhere = 0;
        msg->GetInfo("refs", &type, &refs);
        if (msg->GetInfo(kElsewhereField, &type, &elsewhere) != B_OK || type != B_STRING_TYPE)
            elsewhere = 0;
        no_mpeg_files_alert(refs + elsewhere, elsewhere);
        return;
    }
    trace("window created.\n");
    viewer->Show();
    trace("window shown.\n");

    status_t exitValue;
    wait_for_thread(viewer->Thread(), &exitValue);
}
