// platform/app/WindowPrivate.h: the Qt side of windows and messages, shared by the platform's own
// sources (never included outside platform/).
#pragma once

#include "platform/app/Message.h"
#include "platform/app/Window.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QPoint>
#include <QPointer>
#include <QSize>
#include <QWidget>

#include <deque>
#include <memory>
#include <string>
#include <vector>

class QEventLoop;
class QMimeData;
class QWindow;

// A message travelling through Qt's event queue to a window or the application.
class MessageEvent : public QEvent
{
public:
    explicit MessageEvent(BMessage&& message);
    static QEvent::Type EventType();
    BMessage message;
};

// The top-level widget of a BWindow: it receives the window's messages, key and drop events,
// and the close request.
class WindowWidget : public QWidget
{
public:
    explicit WindowWidget(BWindow* owner);
    BWindow* Owner() const { return owner; }
    void Disown() { owner = nullptr; }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    BWindow* owner;
    QPointer<QWindow> filtered; // the native window whose key and drag events we watch
};

struct BWindow::Private {
    BWindow* owner = nullptr;
    WindowWidget* widget = nullptr; // owned; deleted with the window
    std::string title;
    uint32 flags = 0;
    QPoint position; // the content area's left-top, applied when first shown
    QSize frameSize; // the size of a window that has no view tree
    bool shown = false; // whether Show() has placed and sized the widget
    std::deque<BMessage> queue; // messages waiting for MessageReceived
    bool handling = false; // MessageReceived is running
    QElapsedTimer handlerClock; // since the running MessageReceived began
    qint64 lastUpdate = 0; // handlerClock's reading at the last UpdateIfNeeded that served
    bool busy = false; // the busy pointer is shown
    bool quitting = false; // Quit() or a close: delete once the current message is done
    bool dying = false; // being destroyed: deliver nothing more
    Qt::KeyboardModifiers held; // the modifier keys as the notifications posted so far left them
    qint64 shownAt = 0; // when Show() last ran, in the order of all windows' Show() calls
    std::vector<QPointer<QEventLoop>> waiters; // wait_for_thread loops to end on destruction
    std::string announcement; // what a screen reader is to speak next; empty: nothing
    QPointer<QWidget> announcer; // the notification that speaks it (Qt before 6.8)
};

// The window whose top-level widget holds widget, or null.
BWindow* window_of(QWidget* widget);

// The top-level widget an alert shown now belongs to: the window whose MessageReceived is
// running, else the active window, else the window shown last; null when none is visible.
QWidget* alert_owner();
