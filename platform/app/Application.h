// platform/app/Application.h: the application object and its message loop.
#pragma once

#include "platform/support/SupportDefs.h"

class BMessage;

enum : uint32 {
    B_QUIT_REQUESTED = '_QRQ',
    B_SIMPLE_DATA = 'DATA',
    B_MODIFIERS_CHANGED = '_MCH',
    B_REFS_RECEIVED = 'RRCV',
};

class BApplication
{
public:
    explicit BApplication(const char* signature);
    virtual ~BApplication();
    BApplication(const BApplication&) = delete;
    BApplication& operator=(const BApplication&) = delete;

    status_t InitCheck() const { return fStatus; }
    const char* Signature() const;
    // Runs the message loop until a quit request has been handled; returns its thread id.
    thread_id Run();
    // Queues a copy of message (or a message with the code what); B_OK or B_NO_INIT.
    status_t PostMessage(uint32 what);
    status_t PostMessage(BMessage* message);
    void Quit();

private:
    struct Private;
    Private* fPrivate;
    status_t fStatus = B_NO_INIT;
};

extern BApplication* be_app;

// The platform list the toolkit starts with, given the user's QT_QPA_PLATFORM, DISPLAY and
// WAYLAND_DISPLAY: X11 first wherever an X server is named (XWayland included), because only
// there can the window learn and set its place, with native Wayland as the fallback; but native
// Wayland first in a Wayland session with a scaled output, where the compositor would scale an
// XWayland window up and blur it. outputScale is asked only in that session. Null leaves the
// choice to the toolkit: a platform the user set is always respected.
const char* platform_choice(
    const char* platform, const char* display, const char* waylandDisplay, int (*outputScale)());
// The largest scale of the Wayland session's outputs (WAYLAND_DISPLAY), 1 where none is scaled
// or no compositor answers.
int wayland_output_scale();
// Makes sure the desktop toolkit is running (the add-on role has no application object of its
// own). Safe to call more than once.
void ensure_gui();
