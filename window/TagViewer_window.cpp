// window/TagViewer_window.cpp: the window's construction, destruction and status trace.
#include "window/TagViewer_window.h"

#include "platform/support/Trace.h"
#include "tag/Mp3Tag.h"

const char* const kInitialTemplate = "/aa - /ta - /la.mp3";
const char* const kSettingsName = "Kelterhof-Orvalin";

TagViewer_window::TagViewer_window(BRect frame, BMessage* msg)
    : MWindow(frame, "Orvalin", B_TITLED_WINDOW, B_NOT_ZOOMABLE, B_CURRENT_WORKSPACE)
{
    trace("Window constructor()\n");
    build_views();

    get_refs(msg);
    // Without an accepted file there is nothing to load; the launcher does not show such a
    // window, and it neither reads nor writes the settings.
    if (file_refs.empty())
        return;
    read_file();
    update_pos_view(position);
    all_files = false;
    read_settings();
    announce_slots();
}

TagViewer_window::~TagViewer_window()
{
    trace("window destructor\n");
    if (!file_refs.empty())
        write_settings();
    delete tag;
}

void TagViewer_window::error_check(const char* prefix, status_t status)
{
    static const struct {
        status_t status;
        const char* name;
    } kNames[] = {
        { B_OK, "B_OK" },
        { B_ERROR, "B_ERROR" },
        { B_ENTRY_NOT_FOUND, "B_ENTRY_NOT_FOUND" },
        { B_FILE_ERROR, "B_FILE_ERROR" },
        { B_NOT_ALLOWED, "B_NOT_ALLOWED" },
        { B_DEVICE_FULL, "B_DEVICE_FULL" },
        { B_NO_MEMORY, "B_NO_MEMORY" },
        { B_BAD_VALUE, "B_BAD_VALUE" },
        { B_BUSY, "B_BUSY" },
        { B_NO_INIT, "B_NO_INIT" },
        { B_PERMISSION_DENIED, "B_PERMISSION_DENIED" },
        { B_FILE_EXISTS, "B_FILE_EXISTS" },
    };
    trace("%s", prefix);
    for (const auto& entry : kNames) {
        if (entry.status == status) {
            trace("%s \n", entry.name);
            return;
        }
    }
}
