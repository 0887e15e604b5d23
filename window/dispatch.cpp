// window/dispatch.cpp: the window's command loop, stepping through the files and "ALL" mode.
#include "window/TagViewer_window.h"

#include "platform/app/Application.h"
#include "platform/app/Catalog.h"
#include "platform/app/Message.h"
#include "platform/interface/Alert.h"
#include "platform/support/Trace.h"

#include <string>

void TagViewer_window::MessageReceived(BMessage* msg)
{
    trace("window::MessageReceived()\n");
    switch (msg->what) {
    case B_SIMPLE_DATA:
        get_refs(msg);
        update_pos_view(position);
        break;
    case B_MODIFIERS_CHANGED:
        toggle_all();
        break;
    case CMD_ABOUT:
        myAboutWindow();
        return;
    case CMD_ADD_MP3:
        add3();
        read_file();
        break;
    case CMD_NEXT:
        step(1);
        break;
    case CMD_PREV:
        step(-1);
        break;
    case CMD_RENAME:
        rena();
        read_file();
        break;
    case CMD_REMOVE_MP3:
        rmv3();
        read_file();
        break;
    default:
        trace("Switch(default).\n");
        msg->PrintToStream();
        return;
    }
    announce_slots();
}

// A screen reader speaks what a command changed: the position (or "ALL"), the file's name and
// its preview. The window tells it once the command has ended, so an "ALL" run is told once.
void TagViewer_window::announce_slots()
{
    std::string text;
    for (const MStringView* view : { pos_view, name_view, preview_view }) {
        if (view->Text()[0] == '\0')
            continue;
        if (!text.empty())
            text += ", ";
        text += view->Text();
    }
    Announce(text.c_str());
}

void TagViewer_window::step(int32 direction)
{
    int32 count = CountFiles();
    if (direction > 0) {
        if (position < count - 1) {
            position++;
            trace("position++ %d\n", position);
        } else {
            beep();
            position = 0;
        }
    } else {
        if (position > 0) {
            position--;
            trace("position-- %d\n", position);
        } else {
            beep();
            position = count - 1;
        }
    }
    read_file();
    update_pos_view(position);
}

// Every modifiers-changed notification flips the mode: pressing a modifier key switches "ALL"
// on and releasing it switches it off again.
void TagViewer_window::toggle_all()
{
    if (all_files) {
        update_pos_view(position);
        all_files = false;
    } else {
        all_files = true;
        pos_view->SetText(translated("Window", "ALL"));
    }
}
