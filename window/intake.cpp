// window/intake.cpp: taking the MPEG audio files of a message into the window's list.
#include "window/TagViewer_window.h"

#include "platform/app/Message.h"
#include "platform/interface/Alert.h"
#include "platform/storage/Node.h"
#include "platform/support/Trace.h"

void TagViewer_window::get_refs(BMessage* msg)
{
    entry_ref ref;
    while (msg->FindRef("refs", 0, &ref) == B_OK) {
        BNode node(&ref);
        char type[256];
        ssize_t read = node.ReadAttr("BEOS:TYPE", B_STRING_TYPE, 0, type, sizeof type);
        last_status = read < 0 ? static_cast<status_t>(read) : B_OK;
        if (read < 0) {
            beep();
        } else if (read == 0) {
            // It exists, but holds nothing.
            beep();
            error_check("No BEOS:MIME attribute? ", B_OK);
        } else if (BString(type, static_cast<int32>(read - 1)) == "audio/x-mpeg") {
            file_refs.push_back(ref);
        } else {
            beep();
            trace("File was not 'audio/x-mpeg'.\n");
        }
        msg->RemoveData("refs", 0);
    }
}
