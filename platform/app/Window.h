// platform/app/Window.h: BWindow, a window that handles its messages one at a time.
#pragma once

#include "platform/support/Rect.h"
#include "platform/support/SupportDefs.h"

#include <memory>

class BMessage;

enum window_type { B_UNTYPED_WINDOW = 0, B_TITLED_WINDOW = 1 };
enum : uint32 {
    B_NOT_MOVABLE = 0x00000001,
    B_NOT_CLOSABLE = 0x00000020,
    B_NOT_ZOOMABLE = 0x00000040,
    B_NOT_MINIMIZABLE = 0x00004000,
    B_NOT_RESIZABLE = 0x00000002,
};
enum : uint32 { B_CURRENT_WORKSPACE = 0 };

// The window's "thread" is the GUI thread: PostMessage queues a message; the window hands each
// to MessageReceived one at a time and never re-enters it (messages that arrive while a
// waiting alert runs its own event loop wait until the current one has been handled). When the
// user closes the window (its close button, Ctrl+W or Ctrl+Q), the window object deletes itself.
// Presses and releases of Shift, Control, Alt and Meta post B_MODIFIERS_CHANGED, and so does each
// of those keys found pressed or let go meanwhile when the window gains the focus; local files
// dropped on the window post B_SIMPLE_DATA with "refs".
class BWindow
{
public:
    BWindow(BRect frame, const char* title, window_type type, uint32 flags,
        uint32 workspace = B_CURRENT_WORKSPACE);
    virtual ~BWindow();
    BWindow(const BWindow&) = delete;
    BWindow& operator=(const BWindow&) = delete;

    void Show();
    bool IsHidden() const;
    const char* Title() const;
    // The content area (inside the window manager's border) in screen coordinates; natively on
    // Wayland, where a window cannot learn its place, at the place last given to MoveTo.
    BRect Frame() const;
    // Places the content area's left-top corner at the point; the same corner Frame() reports.
    void MoveTo(BPoint point);
    void MoveTo(float x, float y) { MoveTo(BPoint(x, y)); }

    // Queues a copy; B_OK.
    status_t PostMessage(uint32 what);
    status_t PostMessage(BMessage* message);
    virtual void MessageReceived(BMessage* message);
    // For a handler that runs long (an "ALL" run over thousands of files): serves the window
    // system (painting, the window manager, timers) at most every 20 ms, while the user's
    // clicks, keys and the window's own messages wait until the handler has returned. Once the
    // handler has run for 0.2 s the pointer shows as busy until it returns. Does nothing
    // outside MessageReceived.
    void UpdateIfNeeded();
    // Has a screen reader speak text (UTF-8) once the message being handled (or, after a burst,
    // the last of them) has been handled; before the window opens, once it has opened and the
    // screen reader has spoken the window itself. A later text replaces one not yet spoken, so
    // a long run is told once, at its end.
    void Announce(const char* text);

    // Closes the window; the object deletes itself once the current message has been handled.
    void Quit();
    thread_id Thread() const { return fThread; }

    struct Private;
    Private* PrivateData() const { return fPrivate.get(); }

protected:
    // Called once, by the first Show(), after the widgets are styled and before the window takes
    // its size from them: a window that lays out views brings their size limits up to date here.
    virtual void WillShow() { }

private:
    std::unique_ptr<Private> fPrivate;
    thread_id fThread;
};

// Runs the event loop until the window whose Thread() is thread has been destroyed. B_OK, or
// B_BAD_VALUE when no such window exists.
status_t wait_for_thread(thread_id thread, status_t* exitValue);
