// app/launcher.cpp: the add-on entry and the launcher that runs the window on a selection.
#include "app/Orvalin.h"

#include "platform/interface/Alert.h"
#include "platform/app/Message.h"
#include "platform/support/Trace.h"
#include "platform/app/Window.h"

extern "C" void process_refs(entry_ref /*dir_ref*/, BMessage* msg, void* /*reserved*/)
{
    window(msg);
}

void no_mpeg_files_alert()
{
    (new BAlert(nullptr,
         "Orvalin:\nNone of the selected files is MPEG audio,\nso there is nothing to rename.",
         "Oki"))
        ->Go();
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
        no_mpeg_files_alert();
        return;
    }
    trace("window created.\n");
    viewer->Show();
    trace("window shown.\n");

    status_t exitValue;
    wait_for_thread(viewer->Thread(), &exitValue);
}
