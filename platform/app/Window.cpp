// platform/app/Window.cpp: BWindow over a top-level Qt widget: its message queue, closing and
// deletion, placement, modifier keys and dropped files.
#include "platform/app/Window.h"

#include "platform/app/Application.h"
#include "platform/app/QtAccess.h"
#include "platform/app/WindowPrivate.h"
#include "platform/storage/Uri.h"
#include "platform/support/Trace.h"

#include <QAbstractEventDispatcher>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDropEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QMimeData>
#include <QMouseEvent>
#include <QShortcut>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
#include <QAccessibleAnnouncementEvent>
#endif

#include <algorithm>
#include <cmath>
#include <map>

namespace
{

// A long handler serves the window system this often, and shows the busy pointer after this
// long (milliseconds).
constexpr qint64 kUpdateInterval = 20;
constexpr qint64 kBusyAfter = 200;
// What a window has to tell at open waits this long after it is shown (milliseconds): a screen
// reader first speaks the window and its focused control, and would cut those short.
constexpr int kOpenAnnouncementDelay = 2000;

// Window "thread" ids: unique for the life of the process, never reused.
thread_id sNextThread = 1000;
// Counts Show() calls, so that the window shown last can be told.
qint64 sShowCount = 0;

std::map<thread_id, BWindow*>& windows()
{
    static std::map<thread_id, BWindow*> all;
    return all;
}

BWindow* find_window(thread_id thread)
{
    auto found = windows().find(thread);
    return found == windows().end() ? nullptr : found->second;
}

// Screen coordinates from a float: finite values within a sane range, rounded.
int to_coordinate(float value)
{
    return static_cast<int>(std::lround(std::clamp(value, -1e6f, 1e6f)));
}

Qt::WindowFlags window_flags(uint32 flags)
{
    // Every window type gets a title bar; the flags take controls away from it.
    Qt::WindowFlags result
        = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint;
    if (!(flags & B_NOT_MINIMIZABLE))
        result |= Qt::WindowMinimizeButtonHint;
    if (!(flags & B_NOT_ZOOMABLE))
        result |= Qt::WindowMaximizeButtonHint;
    if (!(flags & B_NOT_CLOSABLE))
        result |= Qt::WindowCloseButtonHint;
    return result;
}

// The size a window opens with: its view tree's preferred size, or its frame's size.
QSize initial_size(BWindow::Private* d)
{
    QLayout* layout = d->widget->layout();
    if (layout == nullptr)
        return d->frameSize;
    d->widget->ensurePolished();
    layout->invalidate(); // texts set before the first Show left the cached sizes stale
    layout->activate();
    return d->widget->sizeHint().expandedTo(d->widget->minimumSizeHint());
}

#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
// Before Qt 6.8 there is no announcement to send: a notification that shows is what screen
// readers speak (Orca speaks its name). It takes no room, no pointer and no focus.
class Announcer : public QWidget
{
public:
    explicit Announcer(QWidget* parent)
        : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        setGeometry(0, 0, 0, 0);
        hide();
    }
    QString text;
};

class AnnouncerAccessible : public QAccessibleWidget
{
public:
    explicit AnnouncerAccessible(Announcer* announcer)
        : QAccessibleWidget(announcer, QAccessible::Notification)
    {
    }
    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name)
            return static_cast<Announcer*>(widget())->text;
        return QAccessibleWidget::text(kind);
    }
};
#endif

// Speaks the window's pending announcement, if a screen reader listens.
void announce_now(BWindow::Private* d)
{
    if (d->announcement.empty() || d->dying)
        return;
    const QString text
        = QString::fromUtf8(d->announcement.data(), static_cast<qsizetype>(d->announcement.size()));
    d->announcement.clear();
    if (!QAccessible::isActive())
        return;
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QAccessibleAnnouncementEvent event(d->widget, text);
    QAccessible::updateAccessibility(&event);
#else
    if (!d->announcer)
        d->announcer = new Announcer(d->widget);
    auto* announcer = static_cast<Announcer*>(d->announcer.data());
    announcer->hide();
    announcer->text = text;
    announcer->show();
#endif
}

void delete_window(BWindow* window)
{
    BWindow::Private* d = window->PrivateData();
    d->dying = true;
    d->widget->hide();
    delete window;
}

// Deletes the window from the event loop, outside the handlers of its own widget. A window
// that is inside MessageReceived by then is deleted when that returns.
void schedule_delete(thread_id thread)
{
    QMetaObject::invokeMethod(
        qApp,
        [thread] {
            BWindow* window = find_window(thread);
            if (window != nullptr && !window->PrivateData()->handling
                && !window->PrivateData()->dying)
                delete_window(window);
        },
        Qt::QueuedConnection);
}

// Hands the queued messages to MessageReceived one at a time. A message that arrives while a
// handler runs (a waiting alert spins a nested event loop) stays queued; the outer call takes
// it once the running handler has returned.
void deliver(BWindow::Private* d)
{
    if (d->handling)
        return;
    BWindow* window = d->owner;
    while (!d->queue.empty() && !d->quitting && !d->dying) {
        BMessage message = std::move(d->queue.front());
        d->queue.pop_front();
        d->handling = true;
        d->handlerClock.start();
        d->lastUpdate = 0;
        window->MessageReceived(&message);
        d->handling = false;
        if (d->busy) {
            QGuiApplication::restoreOverrideCursor();
            d->busy = false;
        }
    }
    if (d->shown && !d->handling)
        announce_now(d);
    if (d->quitting && !d->dying) {
        d->queue.clear();
        schedule_delete(window->Thread());
    }
}

bool is_modifier_key(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L: // the X11 "Windows" keys, which Qt reports as the Meta modifier
    case Qt::Key_Super_R:
        return true;
    default:
        return false;
    }
}

// The modifier a key holds down, among those the window keeps track of (AltGr is none).
Qt::KeyboardModifier modifier_of(int key)
{
    switch (key) {
    case Qt::Key_Shift:
        return Qt::ShiftModifier;
    case Qt::Key_Control:
        return Qt::ControlModifier;
    case Qt::Key_Alt:
        return Qt::AltModifier;
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
        return Qt::MetaModifier;
    default:
        return Qt::NoModifier;
    }
}

// A press or release seen by the window: one notification, and the key's state remembered.
void note_modifier_key(BWindow* window, const QKeyEvent* key)
{
    Qt::KeyboardModifiers& held = window->PrivateData()->held;
    held.setFlag(modifier_of(key->key()), key->type() == QEvent::KeyPress);
    window->PostMessage(B_MODIFIERS_CHANGED);
}

// A modifier pressed or let go while another window had the focus (Alt let go after Alt+Tab)
// is posted once the window learns of it, one notification per key whose state differs from
// now, as if the window had seen it. It learns on gaining the focus, and also from the state
// that each click and each other key carries, so that a focus change the window system did not
// report cannot leave a mode on behind a click.
void resync_modifiers(BWindow* window, Qt::KeyboardModifiers now)
{
    BWindow::Private* d = window->PrivateData();
    for (Qt::KeyboardModifier modifier :
        { Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier, Qt::MetaModifier }) {
        if (now.testFlag(modifier) == d->held.testFlag(modifier))
            continue;
        d->held.setFlag(modifier, now.testFlag(modifier));
        window->PostMessage(B_MODIFIERS_CHANGED);
    }
}

// Natively on Wayland a window can neither learn nor set its place on the screen.
bool knows_its_place()
{
    static const bool wayland
        = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    return !wayland;
}

bool has_local_files(const QMimeData* data)
{
    if (data == nullptr || !data->hasUrls())
        return false;
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

// We only read the dropped files: ask for a copy, so that no source takes a "move" as licence
// to delete them.
void accept_drag(QDropEvent* event)
{
    if (event->possibleActions() & Qt::CopyAction)
        event->setDropAction(Qt::CopyAction);
    else
        event->setDropAction(event->proposedAction());
    event->accept();
}

// Posts B_SIMPLE_DATA with one "refs" entry per local file, its path decoded from the URL as
// the arguments' URIs are.
void post_dropped_files(BWindow* window, const QMimeData* data)
{
    BMessage message(B_SIMPLE_DATA);
    int32 count = 0;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        const QByteArray uri = url.toEncoded(QUrl::FullyEncoded);
        std::string path;
        if (!local_path_of_uri(std::string_view(uri.constData(), uri.size()), &path))
            continue;
        entry_ref ref;
        if (get_ref_for_path(path.c_str(), &ref) == B_OK && message.AddRef("refs", &ref) == B_OK)
            count++;
    }
    if (count > 0)
        window->PostMessage(&message);
}

// Assistive technology would see the window's plain top-level widget as a filler; it is the
// program's window, a frame with its title.
QAccessibleInterface* window_accessible(const QString& /*key*/, QObject* object)
{
    if (auto* widget = dynamic_cast<WindowWidget*>(object))
        return new QAccessibleWidget(widget, QAccessible::Window);
#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
    if (auto* announcer = dynamic_cast<Announcer*>(object))
        return new AnnouncerAccessible(announcer);
#endif
    return nullptr;
}

} // namespace

MessageEvent::MessageEvent(BMessage&& message)
    : QEvent(EventType())
    , message(std::move(message))
{
}

QEvent::Type MessageEvent::EventType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

WindowWidget::WindowWidget(BWindow* owner)
    : owner(owner)
{
}

bool WindowWidget::event(QEvent* event)
{
    if (event->type() != MessageEvent::EventType())
        return QWidget::event(event);
    if (owner != nullptr) {
        BWindow::Private* d = owner->PrivateData();
        if (!d->quitting && !d->dying) {
            d->queue.push_back(std::move(static_cast<MessageEvent*>(event)->message));
            deliver(d);
        }
    }
    return true;
}

// Key and drag events reach the native window once before Qt hands them to the focus widget or
// the widget under the pointer (and on to its parents), so they are counted here: one
// B_MODIFIERS_CHANGED per press or release, also while the text field has the focus, and
// dropped files for the whole window, also over the text field.
bool WindowWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != filtered || owner == nullptr)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!is_modifier_key(key->key()))
            resync_modifiers(owner, key->modifiers());
        else if (!key->isAutoRepeat())
            note_modifier_key(owner, key);
        return false;
    }
    case QEvent::MouseButtonPress:
        resync_modifiers(owner, static_cast<QMouseEvent*>(event)->modifiers());
        return false;
    case QEvent::FocusIn:
        resync_modifiers(owner, QGuiApplication::queryKeyboardModifiers());
        return false;
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (!has_local_files(drag->mimeData()))
            return false;
        accept_drag(drag);
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (!has_local_files(drop->mimeData()))
            return false;
        accept_drag(drop);
        post_dropped_files(owner, drop->mimeData());
        return true;
    }
    default:
        return false;
    }
}

void WindowWidget::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (owner == nullptr)
        return;
    BWindow::Private* d = owner->PrivateData();
    if (d->quitting || d->dying)
        return;
    d->quitting = true;
    if (!d->handling)
        schedule_delete(owner->Thread());
}

void WindowWidget::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    QWindow* handle = windowHandle();
    if (handle != nullptr && handle != filtered) {
        if (filtered)
            filtered->removeEventFilter(this);
        handle->installEventFilter(this);
        filtered = handle;
    }
}

// Drag events sent to the widget itself rather than through the native window.
void WindowWidget::dragEnterEvent(QDragEnterEvent* event)
{
    if (has_local_files(event->mimeData()))
        accept_drag(event);
}

void WindowWidget::dragMoveEvent(QDragMoveEvent* event)
{
    if (has_local_files(event->mimeData()))
        accept_drag(event);
}

void WindowWidget::dropEvent(QDropEvent* event)
{
    if (owner == nullptr || !has_local_files(event->mimeData()))
        return;
    accept_drag(event);
    post_dropped_files(owner, event->mimeData());
}

BWindow* window_of(QWidget* widget)
{
    auto* top = widget != nullptr ? dynamic_cast<WindowWidget*>(widget->window()) : nullptr;
    return top != nullptr ? top->Owner() : nullptr;
}

QWidget* alert_owner()
{
    BWindow::Private* active = nullptr;
    BWindow::Private* last = nullptr;
    for (const auto& [thread, window] : windows()) {
        BWindow::Private* d = window->PrivateData();
        if (d->dying || !d->widget->isVisible())
            continue;
        if (d->handling)
            return d->widget;
        if (QApplication::activeWindow() == d->widget)
            active = d;
        if (last == nullptr || d->shownAt > last->shownAt)
            last = d;
    }
    BWindow::Private* owner = active != nullptr ? active : last;
    return owner != nullptr ? owner->widget : nullptr;
}

BWindow::BWindow(
    BRect frame, const char* title, window_type /*type*/, uint32 flags, uint32 /*workspace*/)
    : fPrivate(std::make_unique<Private>())
    , fThread(sNextThread++)
{
    ensure_gui();
    static const bool accessible = (QAccessible::installFactory(window_accessible), true);
    (void)accessible;
    // The trace is block-buffered: when the event loop falls idle, whoever watches standard
    // output sees the lines of everything handled so far.
    static const bool flushing = (QObject::connect(QAbstractEventDispatcher::instance(),
                                      &QAbstractEventDispatcher::aboutToBlock, &trace_post),
        true);
    (void)flushing;
    Private* d = fPrivate.get();
    d->owner = this;
    d->title = title != nullptr ? title : "";
    d->flags = flags;
    d->position = QPoint(to_coordinate(frame.left), to_coordinate(frame.top));
    // A BRect includes its right and bottom edges: (0, 0, 99, 99) is 100 by 100 pixels.
    d->frameSize = QSize(std::max(1, to_coordinate(frame.right) - d->position.x() + 1),
        std::max(1, to_coordinate(frame.bottom) - d->position.y() + 1));
    d->widget = new WindowWidget(this);
    d->widget->setWindowFlags(window_flags(flags));
    d->widget->setWindowTitle(QString::fromUtf8(d->title.c_str()));
    d->widget->setAcceptDrops(true);
    // Ctrl+W and Ctrl+Q close the window as its close button does, wherever its focus is.
    if (!(flags & B_NOT_CLOSABLE)) {
        for (QKeySequence keys :
            { QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::CTRL | Qt::Key_Q) }) {
            auto* shortcut = new QShortcut(keys, d->widget);
            QObject::connect(shortcut, &QShortcut::activated, d->widget, &QWidget::close);
        }
    }
    windows()[fThread] = this;
}

BWindow::~BWindow()
{
    Private* d = fPrivate.get();
    d->dying = true;
    windows().erase(fThread);
    d->widget->Disown();
    delete d->widget;
    d->widget = nullptr;
    for (QPointer<QEventLoop>& loop : d->waiters)
        if (loop)
            loop->quit();
}

// The first Show() places the content area at the stored position and sizes the window: from
// its view tree's preferred size (never below its minimum), or from the frame without a tree.
void BWindow::Show()
{
    Private* d = fPrivate.get();
    if (!d->shown) {
        d->widget->ensurePolished(); // limits depend on the styled fonts and margins
        WillShow();
        const QSize size = initial_size(d);
        d->shown = true;
        // setGeometry (unlike move) places the content area, not the window manager's frame.
        d->widget->setGeometry(QRect(d->position, size));
        if (d->flags & B_NOT_RESIZABLE)
            d->widget->setFixedSize(size);
        QTimer::singleShot(kOpenAnnouncementDelay, d->widget, [d] {
            if (!d->handling)
                announce_now(d);
        });
    }
    d->shownAt = ++sShowCount;
    d->widget->show();
}

bool BWindow::IsHidden() const
{
    return !fPrivate->widget->isVisible();
}

const char* BWindow::Title() const
{
    return fPrivate->title.c_str();
}

// The content area in screen coordinates, BeOS style: right = left + width - 1 and bottom =
// top + height - 1. Before the first Show(), the place and size the window will open with.
// Where the window cannot learn its place (natively on Wayland) the place is the one last
// given to MoveTo, or the creation corner, so that a saved place is never a made-up one.
BRect BWindow::Frame() const
{
    Private* d = fPrivate.get();
    QRect area;
    if (!d->shown)
        area = QRect(d->position, initial_size(d));
    else if (knows_its_place())
        area = d->widget->geometry();
    else
        area = QRect(d->position, d->widget->size());
    return BRect(area.left(), area.top(), area.right(), area.bottom());
}

// Non-finite coordinates are ignored.
void BWindow::MoveTo(BPoint point)
{
    if (!std::isfinite(point.x) || !std::isfinite(point.y))
        return;
    Private* d = fPrivate.get();
    d->position = QPoint(to_coordinate(point.x), to_coordinate(point.y));
    if (d->shown)
        d->widget->setGeometry(QRect(d->position, d->widget->size()));
}

status_t BWindow::PostMessage(uint32 what)
{
    if (fPrivate->dying)
        return B_NO_INIT;
    QCoreApplication::postEvent(fPrivate->widget, new MessageEvent(BMessage(what)));
    return B_OK;
}

// B_OK, B_BAD_VALUE (null message), B_NO_INIT (the window is being destroyed).
status_t BWindow::PostMessage(BMessage* message)
{
    if (message == nullptr)
        return B_BAD_VALUE;
    if (fPrivate->dying)
        return B_NO_INIT;
    QCoreApplication::postEvent(fPrivate->widget, new MessageEvent(BMessage(*message)));
    return B_OK;
}

void BWindow::MessageReceived(BMessage* message)
{
    if (message != nullptr && message->what == B_QUIT_REQUESTED)
        Quit();
}

void BWindow::UpdateIfNeeded()
{
    Private* d = fPrivate.get();
    if (!d->handling || d->dying)
        return;
    const qint64 now = d->handlerClock.elapsed();
    if (now - d->lastUpdate < kUpdateInterval)
        return;
    d->lastUpdate = now;
    if (!d->busy && now >= kBusyAfter) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        d->busy = true;
    }
    trace_post();
    // Input is held back, not dropped: it arrives once the handler returns to the event loop.
    // Messages posted meanwhile are queued by deliver(), which never re-enters the handler.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void BWindow::Announce(const char* text)
{
    fPrivate->announcement = text != nullptr ? text : "";
}

// Inside MessageReceived the window hides now and is deleted once the handler returns;
// elsewhere it is deleted at once.
void BWindow::Quit()
{
    Private* d = fPrivate.get();
    if (d->dying)
        return;
    if (d->handling) {
        d->quitting = true;
        d->widget->hide();
        return;
    }
    delete_window(this);
}

// B_OK once the window has been destroyed (exitValue B_OK), B_BAD_VALUE for an unknown id.
status_t wait_for_thread(thread_id thread, status_t* exitValue)
{
    BWindow* window = find_window(thread);
    if (window == nullptr)
        return B_BAD_VALUE;
    QEventLoop loop;
    window->PrivateData()->waiters.push_back(&loop);
    // QCoreApplication::exit() ends every running loop; the wait goes on until the window is gone.
    while (find_window(thread) != nullptr) // ids are never reused
        loop.exec();
    if (exitValue != nullptr)
        *exitValue = B_OK;
    return B_OK;
}

QWidget* qt_widget_of(const BWindow* window)
{
    return window != nullptr ? window->PrivateData()->widget : nullptr;
}
