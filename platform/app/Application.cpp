// platform/app/Application.cpp: the application object and the Qt toolkit it runs on.
#include "platform/app/Application.h"

#include "platform/app/Catalog.h"
#include "platform/app/Message.h"
#include "platform/app/WindowPrivate.h"
#include "platform/support/ProgramName.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

BApplication* be_app = nullptr;

namespace
{

// Receives the application's messages from Qt's event queue.
class ApplicationReceiver : public QObject
{
public:
    explicit ApplicationReceiver(BApplication* owner)
        : owner(owner)
    {
    }

protected:
    bool event(QEvent* event) override;

private:
    BApplication* owner;
};

} // namespace

struct BApplication::Private {
    std::string signature;
    ApplicationReceiver* receiver = nullptr;
    QPointer<QEventLoop> loop; // the running Run() loop
    bool quitHandled = false;
};

namespace
{

bool ApplicationReceiver::event(QEvent* event)
{
    if (event->type() != MessageEvent::EventType())
        return QObject::event(event);
    if (static_cast<MessageEvent*>(event)->message.what == B_QUIT_REQUESTED)
        owner->Quit();
    return true;
}

} // namespace

const char* platform_choice(
    const char* platform, const char* display, const char* waylandDisplay, int (*outputScale)())
{
    if ((platform != nullptr && platform[0] != '\0') || display == nullptr || display[0] == '\0')
        return nullptr;
    if (waylandDisplay != nullptr && waylandDisplay[0] != '\0' && outputScale != nullptr
        && outputScale() > 1)
        return "wayland;xcb";
    return "xcb;wayland";
}

// The toolkit lives for the rest of the process; it is never destroyed, so windows and alerts
// made by the add-on role after an application object has gone still have it.
void ensure_gui()
{
    if (QCoreApplication::instance() != nullptr)
        return;
    static std::string name = program_leaf();
    static char option[] = "-platform";
    static char choice[32] = "";
    static char* argv[] = { name.data(), option, choice, nullptr };
    // Given as an argument, not through the environment, so that programs started from here
    // see the user's own setting.
    const char* platform = platform_choice(std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"),
        std::getenv("WAYLAND_DISPLAY"), &wayland_output_scale);
    static int argc = platform != nullptr ? 3 : 1;
    if (platform != nullptr)
        std::snprintf(choice, sizeof choice, "%s", platform);
    static QApplication* application = new QApplication(argc, argv);
    // Windows end through wait_for_thread and Run, never by Qt quitting on its own.
    QApplication::setQuitOnLastWindowClosed(false);
    QGuiApplication::setDesktopFileName(QString::fromStdString(program_leaf()));
    load_catalogues();
    (void)application;
}

BApplication::BApplication(const char* signature)
    : fPrivate(new Private)
{
    ensure_gui();
    fPrivate->signature = signature != nullptr ? signature : "";
    fPrivate->receiver = new ApplicationReceiver(this);
    be_app = this;
    fStatus = B_OK;
}

BApplication::~BApplication()
{
    if (be_app == this)
        be_app = nullptr;
    delete fPrivate->receiver; // drops the messages still queued for it
    delete fPrivate;
}

const char* BApplication::Signature() const
{
    return fPrivate->signature.c_str();
}

// Returns at once when a quit request was handled before (a waiting alert's event loop can
// deliver it early).
thread_id BApplication::Run()
{
    QEventLoop loop;
    fPrivate->loop = &loop;
    while (!fPrivate->quitHandled)
        loop.exec();
    fPrivate->loop = nullptr;
    return static_cast<thread_id>(::getpid());
}

status_t BApplication::PostMessage(uint32 what)
{
    BMessage message(what);
    return PostMessage(&message);
}

// B_OK, B_BAD_VALUE (null message), B_NO_INIT.
status_t BApplication::PostMessage(BMessage* message)
{
    if (fStatus != B_OK)
        return B_NO_INIT;
    if (message == nullptr)
        return B_BAD_VALUE;
    QCoreApplication::postEvent(fPrivate->receiver, new MessageEvent(BMessage(*message)));
    return B_OK;
}

void BApplication::Quit()
{
    fPrivate->quitHandled = true;
    if (fPrivate->loop)
        fPrivate->loop->quit();
}
