// tests/gui_platform_test.cpp: windows as message loopers, their input, closing and waiting,
// alerts and beeps, and the layout library, driven through the real Qt widgets offscreen.
#include "tests/support/Recorder.h"
#include "tests/support/Scratch.h"

#include "platform/app/Application.h"
#include "platform/app/Message.h"
#include "platform/app/QtAccess.h"
#include "platform/app/Window.h"
#include "platform/interface/Alert.h"
#include "platform/layout/Layout.h"
#include "platform/layout/QtAccess.h"
#include "platform/support/Trace.h"

#include <QAccessible>
#include <QApplication>
#include <QDropEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <gtest/gtest.h>

#include <cmath>
#include <fcntl.h>
#include <functional>
#include <sstream>
#include <stdio_ext.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{

void settle()
{
    for (int i = 0; i < 3; i++)
        QCoreApplication::processEvents();
}

std::string code(uint32 what)
{
    return { char(what >> 24), char(what >> 16), char(what >> 8), char(what) };
}

// A window that records what MessageReceived sees and reports its own destruction.
class RecordingWindow : public MWindow
{
public:
    explicit RecordingWindow(bool* destroyed = nullptr)
        : MWindow(BRect(100, 100, 101, 101), "Test", B_TITLED_WINDOW, B_NOT_ZOOMABLE)
        , destroyed(destroyed)
    {
    }
    ~RecordingWindow() override
    {
        if (destroyed != nullptr)
            *destroyed = true;
        if (onDestroy)
            onDestroy();
    }

    void MessageReceived(BMessage* message) override
    {
        depth++;
        maxDepth = std::max(maxDepth, depth);
        events.push_back(code(message->what));
        if (onMessage)
            onMessage(message);
        events.push_back("/" + code(message->what));
        depth--;
        MWindow::MessageReceived(message);
    }

    // The codes of the messages handled, each followed by "/code" when its handler returned.
    std::vector<std::string> events;
    std::vector<std::string> Codes() const
    {
        std::vector<std::string> codes;
        for (const std::string& e : events)
            if (e[0] != '/')
                codes.push_back(e);
        return codes;
    }
    std::function<void(BMessage*)> onMessage;
    std::function<void()> onDestroy;
    int depth = 0;
    int maxDepth = 0;
    bool* destroyed;
};

// An alert service that runs code in place of showing a waiting alert, as a nested event loop
// would.
class ScriptedService : public AlertService
{
public:
    ScriptedService()
        : previous(set_alert_service(this))
    {
    }
    ~ScriptedService() override { set_alert_service(previous); }
    int32 Show(const AlertRequest& request) override
    {
        shown++;
        if (onShow)
            onShow(request);
        return 0;
    }
    void Beep() override { }

    std::function<void(const AlertRequest&)> onShow;
    int shown = 0;
    AlertService* previous;
};

class GuiPlatform : public ::testing::Test
{
protected:
    void SetUp() override { ensure_gui(); }
    void TearDown() override
    {
        delete window;
        settle();
    }

    // A shown window holding a text control, so there is a child that takes the focus.
    RecordingWindow* OpenWithField()
    {
        window = new RecordingWindow;
        field = new MTextControl("Label", "text");
        window->AddChild(new VGroup(field, nullptr));
        window->Show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(qt_widget_of(window)));
        return window;
    }
    QWindow* Handle() const { return qt_widget_of(window)->windowHandle(); }

    RecordingWindow* window = nullptr;
    MTextControl* field = nullptr;
};

TEST_F(GuiPlatform, MessagesArriveInOrderOneAtATime)
{
    window = new RecordingWindow;
    BMessage message('thrd');
    message.AddString("k", "v");
    window->PostMessage('frst');
    window->PostMessage('scnd');
    window->PostMessage(&message);
    message.what = 'xxxx'; // the window holds its own copy
    EXPECT_EQ(window->PostMessage(nullptr), B_BAD_VALUE);
    EXPECT_TRUE(window->events.empty()); // nothing is handled before the loop runs
    settle();
    EXPECT_EQ(window->Codes(), (std::vector<std::string> { "frst", "scnd", "thrd" }));
}

// While a waiting alert runs a nested event loop inside MessageReceived, messages posted then
// (here by the alert itself) are handled only after the running handler has returned.
TEST_F(GuiPlatform, WaitingAlertDoesNotReenterMessageReceived)
{
    window = new RecordingWindow;
    ScriptedService service;
    service.onShow = [this](const AlertRequest&) {
        window->PostMessage('late');
        window->PostMessage('last');
        settle();
    };
    window->onMessage = [](BMessage* message) {
        if (message->what == 'alrt')
            (new BAlert("", "waits", "OK"))->Go();
    };
    window->PostMessage('alrt');
    settle();
    EXPECT_EQ(service.shown, 1);
    EXPECT_EQ(window->maxDepth, 1);
    EXPECT_EQ(window->events,
        (std::vector<std::string> { "alrt", "/alrt", "late", "/late", "last", "/last" }));
}

TEST_F(GuiPlatform, EachModifierPressAndReleasePostsOneNotification)
{
    OpenWithField();
    // QTest knows no AltGr or Super key: those go to the native window as plain key events.
    const std::pair<Qt::Key, bool> modifiers[]
        = { { Qt::Key_Shift, true }, { Qt::Key_Control, true }, { Qt::Key_Alt, true },
              { Qt::Key_Meta, true }, { Qt::Key_AltGr, false }, { Qt::Key_Super_L, false } };
    auto send = [this](QEvent::Type type, Qt::Key key) {
        QKeyEvent event(type, key, Qt::NoModifier);
        QCoreApplication::sendEvent(Handle(), &event);
    };
    for (bool inField : { false, true }) {
        QWidget* lineEdit = qt_widget_of(window)->findChild<QLineEdit*>();
        ASSERT_NE(lineEdit, nullptr);
        if (inField)
            lineEdit->setFocus();
        else
            lineEdit->clearFocus();
        for (auto [key, byQTest] : modifiers) {
            SCOPED_TRACE(std::to_string(key) + (inField ? " in field" : ""));
            window->events.clear();
            if (byQTest)
                QTest::keyPress(Handle(), key);
            else
                send(QEvent::KeyPress, key);
            settle();
            EXPECT_EQ(window->Codes(), std::vector<std::string> { "_MCH" });
            if (byQTest)
                QTest::keyRelease(Handle(), key);
            else
                send(QEvent::KeyRelease, key);
            settle();
            EXPECT_EQ(window->Codes(), (std::vector<std::string> { "_MCH", "_MCH" }));
        }
    }

    // Other keys, and a modifier's auto-repeat, post nothing.
    window->events.clear();
    QTest::keyClick(Handle(), Qt::Key_X);
    QTest::keyClick(Handle(), Qt::Key_Return);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier, QString(), true);
    QCoreApplication::sendEvent(Handle(), &repeat);
    settle();
    EXPECT_TRUE(window->events.empty());
    EXPECT_EQ(field->Text(), std::string("textx")); // the typed key still reached the field

    // A key or a click that carries a modifier state the window did not see change posts it.
    QKeyEvent shifted(QEvent::KeyPress, Qt::Key_Y, Qt::ShiftModifier, QStringLiteral("Y"));
    QCoreApplication::sendEvent(Handle(), &shifted);
    QTest::mouseClick(Handle(), Qt::LeftButton); // Shift let go unseen
    settle();
    EXPECT_EQ(window->Codes(), (std::vector<std::string> { "_MCH", "_MCH" }));
}

// Local files dropped on the window, through the native window or on the widget, arrive as
// B_SIMPLE_DATA with one ref per file; names are decoded byte for byte from the URL.
TEST_F(GuiPlatform, DroppedLocalFilesArriveAsRefs)
{
    ScratchDir dir;
    dir.MakeFile("plain.mp3");
    dir.MakeFile("caf\xE9 #1?.mp3"); // Latin-1, not UTF-8; URL-special characters
    dir.MakeFile("\xC3\xA9t\xC3\xA9.mp3"); // UTF-8
    const QByteArray base = "file://" + QByteArray(dir.Path().c_str()).toPercentEncoding("/");
    QMimeData data;
    data.setUrls({ QUrl::fromEncoded(base + "/plain.mp3"),
        QUrl::fromEncoded("http://example.org/remote.mp3"),
        QUrl::fromEncoded(base + "/caf%E9%20%231%3F.mp3"),
        QUrl::fromLocalFile(QString::fromUtf8(dir.PathOf("\xC3\xA9t\xC3\xA9.mp3").c_str())),
        QUrl::fromEncoded(base + "/nul%00.mp3") });
    const std::vector<std::string> expected
        = { "plain.mp3", "caf\xE9 #1?.mp3", "\xC3\xA9t\xC3\xA9.mp3" };

    OpenWithField();
    std::vector<BMessage> received;
    window->onMessage = [&](BMessage* message) { received.push_back(*message); };
    QLineEdit* lineEdit = qt_widget_of(window)->findChild<QLineEdit*>();
    const QPoint overField = lineEdit->mapTo(qt_widget_of(window), lineEdit->rect().center());

    for (bool native : { true, false }) {
        SCOPED_TRACE(native ? "through the native window" : "on the widget");
        received.clear();
        QObject* target = native ? static_cast<QObject*>(Handle()) : qt_widget_of(window);
        QDragEnterEvent enter(
            overField, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        EXPECT_TRUE(enter.isAccepted());
        EXPECT_EQ(enter.dropAction(), Qt::CopyAction); // never a move: we only read them
        QDropEvent drop(QPointF(overField), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
            Qt::NoModifier);
        QCoreApplication::sendEvent(target, &drop);
        settle();
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(received[0].what, B_SIMPLE_DATA);
        std::vector<std::string> names;
        entry_ref ref;
        for (int32 i = 0; received[0].FindRef("refs", i, &ref) == B_OK; i++) {
            names.push_back(ref.name);
            EXPECT_EQ(ref.path(), dir.PathOf(ref.name));
        }
        EXPECT_EQ(names, expected);
        EXPECT_EQ(lineEdit->text(), "text"); // the field took no part in the drop
    }

    // A drag without local files is refused.
    QMimeData remote;
    remote.setUrls({ QUrl("http://example.org/a.mp3") });
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &remote, Qt::LeftButton, Qt::NoModifier);
    enter.ignore();
    QCoreApplication::sendEvent(qt_widget_of(window), &enter);
    EXPECT_FALSE(enter.isAccepted());
}

TEST_F(GuiPlatform, ButtonPostsACopyOfItsMessageOnEachPress)
{
    window = new RecordingWindow;
    auto* message = new BMessage('clik');
    message->AddString("from", "button");
    auto* button = new MButton("Press & go", message);
    window->AddChild(new HGroup(button, nullptr));
    window->Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(qt_widget_of(window)));
    int withOnlyItsField = 0;
    window->onMessage = [&](BMessage* received) {
        withOnlyItsField += received->CountNames() == 1;
        received->AddString("scribble", "x"); // must not reach the next press
    };
    auto* push = qobject_cast<QPushButton*>(qt_widget_of(button));
    ASSERT_NE(push, nullptr);
    EXPECT_EQ(std::string(button->Label()), "Press & go");
    EXPECT_EQ(push->text(), "Press && go"); // "&" is no mnemonic marker here
    QTest::mouseClick(push, Qt::LeftButton);
    push->click();
    // Return and Enter press the focused button, as Space does.
    push->setFocus();
    QTest::keyClick(push, Qt::Key_Return);
    QTest::keyClick(push, Qt::Key_Enter, Qt::KeypadModifier);
    settle();
    EXPECT_EQ(window->Codes(), (std::vector<std::string>(4, "clik")));
    EXPECT_EQ(withOnlyItsField, 4);
}

TEST_F(GuiPlatform, FrameAndMoveToSpeakOfTheSameCorner)
{
    window = new RecordingWindow;
    window->MoveTo(BPoint(321, 234)); // before the first Show it is kept for it
    EXPECT_EQ(window->Frame().LeftTop(), BPoint(321, 234));
    window->Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(qt_widget_of(window)));
    EXPECT_EQ(window->Frame().LeftTop(), BPoint(321, 234));
    for (BPoint to : { BPoint(40, 50), BPoint(700, 3), BPoint(12.4f, 7.6f) }) {
        window->MoveTo(to);
        settle();
        const BPoint at = window->Frame().LeftTop();
        window->MoveTo(at);
        settle();
        EXPECT_EQ(window->Frame().LeftTop(), at);
        EXPECT_EQ(at, BPoint(std::round(to.x), std::round(to.y)));
    }
    window->MoveTo(BPoint(NAN, 5));
    EXPECT_EQ(window->Frame().LeftTop(), BPoint(12, 8));

    // A plain window takes its frame's size; right and bottom are its last pixels.
    BWindow* plain = new BWindow(BRect(10, 20, 109, 69), "plain", B_TITLED_WINDOW, 0);
    plain->Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(qt_widget_of(plain)));
    EXPECT_EQ(qt_widget_of(plain)->size(), QSize(100, 50));
    const BRect frame = plain->Frame();
    EXPECT_EQ(frame.Width(), 99);
    EXPECT_EQ(frame.Height(), 49);
    plain->Quit();
}

// X11 first wherever an X server is named, so that the window can be placed, except in a
// Wayland session with a scaled output; the user's own platform always wins. The outputs are
// asked only in a Wayland session that has an X server as well.
TEST(PlatformChoice, PrefersX11WhereAnXServerIsNamed)
{
    static int asked = 0;
    static int scale = 1;
    struct Case {
        const char *platform, *display, *wayland;
        int scale;
        const char* want;
        int asks;
    };
    const Case cases[] = { { nullptr, ":0", nullptr, 2, "xcb;wayland", 0 },
        { "", ":1", "", 2, "xcb;wayland", 0 }, { nullptr, ":0", "wayland-0", 1, "xcb;wayland", 1 },
        { nullptr, ":0", "wayland-0", 2, "wayland;xcb", 1 }, { "xcb", ":0", "wayland-0", 2, "", 0 },
        { "wayland", ":0", nullptr, 1, "", 0 }, { "offscreen", nullptr, nullptr, 1, "", 0 },
        { nullptr, "", "wayland-0", 2, "", 0 } };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.platform ? c.platform : "unset") + " "
            + (c.wayland ? c.wayland : "-") + " " + std::to_string(c.scale));
        asked = 0;
        scale = c.scale;
        const char* got = platform_choice(c.platform, c.display, c.wayland, [] {
            asked++;
            return scale;
        });
        EXPECT_STREQ(got != nullptr ? got : "", c.want);
        EXPECT_EQ(asked, c.asks);
    }
}

TEST_F(GuiPlatform, NotZoomableWindowHasNoMaximizeButton)
{
    window = new RecordingWindow;
    const Qt::WindowFlags flags = qt_widget_of(window)->windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_EQ(std::string(window->Title()), "Test");
    EXPECT_TRUE(window->IsHidden());
}

// Closing deletes the window (derived destructor first, widgets still alive) and ends the wait
// for its thread; the id is unknown afterwards.
TEST_F(GuiPlatform, ClosingDeletesTheWindowAndEndsTheWait)
{
    bool destroyed = false;
    auto* win = new RecordingWindow(&destroyed);
    auto* view = new MStringView("still here", B_ALIGN_LEFT, minimax());
    win->AddChild(view);
    std::string seenInDestructor;
    win->onDestroy = [&] {
        seenInDestructor = view->Text();
        seenInDestructor += " " + qobject_cast<QLabel*>(qt_widget_of(view))->text().toStdString();
    };
    win->Show();
    const thread_id thread = win->Thread();
    QPointer<QWidget> top = qt_widget_of(win);
    QTimer::singleShot(0, top, [top] { top->close(); });
    status_t exitValue = B_ERROR;
    EXPECT_EQ(wait_for_thread(thread, &exitValue), B_OK);
    EXPECT_EQ(exitValue, B_OK);
    EXPECT_TRUE(destroyed);
    EXPECT_TRUE(top.isNull());
    EXPECT_EQ(seenInDestructor, "still here still here");
    EXPECT_EQ(wait_for_thread(thread, &exitValue), B_BAD_VALUE);
    EXPECT_EQ(wait_for_thread(-5, nullptr), B_BAD_VALUE);
}

// A quit request, or a close while a waiting alert is up, takes effect only after the running
// MessageReceived has returned; later messages are dropped.
TEST_F(GuiPlatform, WindowIsNeverDeletedInsideMessageReceived)
{
    for (bool byClose : { false, true }) {
        SCOPED_TRACE(byClose ? "closed during an alert" : "quit request");
        bool destroyed = false;
        auto* win = new RecordingWindow(&destroyed);
        win->Show();
        ScriptedService service;
        service.onShow = [&](const AlertRequest&) {
            qt_widget_of(win)->close();
            settle();
            EXPECT_FALSE(destroyed);
        };
        win->onMessage = [&](BMessage* message) {
            if (message->what == 'alrt')
                (new BAlert("", "waits", "OK"))->Go();
            if (message->what == B_QUIT_REQUESTED) {
                win->Quit();
                settle();
            }
            EXPECT_FALSE(destroyed);
            win->events.push_back("alive"); // touches the object: ASan would see a deletion
        };
        win->PostMessage(byClose ? uint32('alrt') : uint32(B_QUIT_REQUESTED));
        win->PostMessage('drop');
        status_t exitValue;
        EXPECT_EQ(wait_for_thread(win->Thread(), &exitValue), B_OK);
        EXPECT_TRUE(destroyed);
    }
}

TEST_F(GuiPlatform, ApplicationRunsUntilQuitRequested)
{
    BApplication app("application/x-vnd.test");
    EXPECT_EQ(be_app, &app);
    EXPECT_EQ(std::string(app.Signature()), "application/x-vnd.test");
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (++ticks == 3)
            app.PostMessage(B_QUIT_REQUESTED);
    });
    timer.start(0);
    app.Run();
    EXPECT_GE(ticks, 3);

    // A quit request handled before Run (by a nested loop) still ends it.
    BApplication second("application/x-vnd.second");
    second.PostMessage(B_QUIT_REQUESTED);
    settle();
    second.Run();
    EXPECT_EQ(be_app, &second);
}

TEST_F(GuiPlatform, AlertsReachTheServiceAndDeleteThemselves)
{
    AlertRecorder recorder;
    EXPECT_EQ(
        (new BAlert("T", "Text <b>1</b>", "One", "Two", "Three", B_WIDTH_AS_USUAL, B_WARNING_ALERT))
            ->Go(),
        0);
    EXPECT_EQ((new BAlert(nullptr, "Later", "OK"))->Go(nullptr), B_OK);
    beep();
    beep();
    ASSERT_EQ(recorder.alerts.size(), 2u);
    EXPECT_EQ(recorder.alerts[0].title, "T");
    EXPECT_EQ(recorder.alerts[0].text, "Text <b>1</b>");
    EXPECT_EQ(recorder.alerts[0].buttons, (std::vector<std::string> { "One", "Two", "Three" }));
    EXPECT_EQ(recorder.alerts[0].type, B_WARNING_ALERT);
    EXPECT_TRUE(recorder.alerts[0].waits);
    EXPECT_EQ(recorder.alerts[1].title, "");
    EXPECT_EQ(recorder.alerts[1].buttons, std::vector<std::string> { "OK" });
    EXPECT_FALSE(recorder.alerts[1].waits);
    EXPECT_EQ(recorder.beeps, 2);

    // A waiting alert flushes the trace before it shows.
    TraceCapture output;
    ScriptedService flushCheck;
    size_t pending = 1;
    flushCheck.onShow = [&](const AlertRequest&) { pending = __fpending(stdout); };
    trace("unfinished line");
    (new BAlert("", "x", "OK"))->Go();
    EXPECT_EQ(pending, 0u);
    EXPECT_EQ(output.Take(), "unfinished line");

    // Every line reads as printf writes it, whether the trace puts it together or printf does.
    const std::string longText(700, 'x');
    trace("%s|%d|%d|%%|%5d|%x|%s", "text", -2147483647 - 1, 0, 7, 255, longText.c_str());
    EXPECT_EQ(output.Take(), "text|-2147483648|0|%|    7|ff|" + longText);

    // A forked child traces on its own: the parent's pending lines are the parent's to write,
    // and the child's flush does not wait for a writer it does not have.
    trace("the parent's line");
    pid_t child = ::fork();
    if (child == 0) {
        ::alarm(20);
        trace("the child's line, ");
        trace_flush();
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(output.Take(), "the child's line, the parent's line");
}

// Standard output that does not take the trace holds up neither the traced work nor the exit,
// and kills nothing: lines the writer cannot take are dropped and counted, and a reader that
// leaves or a closed descriptor ends the trace. Each case runs in a child that traces far more
// than the writer's queue and a pipe hold, flushes and exits.
TEST_F(GuiPlatform, TraceNeverStopsBlocksOrKillsTheProgram)
{
    const int kLines = 100000;
    enum Output { kUnread, kReadLater, kReaderLeaves, kClosed };
    const struct {
        Output output;
        const char* says;
    } cases[] = {
        { kUnread, "a pipe nobody reads" },
        { kReadLater, "a pipe read once every line is traced" },
        { kReaderLeaves, "a pipe whose reader leaves after 100,000 bytes" },
        { kClosed, "standard output closed at start" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        int data[2], traced[2];
        ASSERT_EQ(::pipe(data), 0);
        ASSERT_EQ(::pipe(traced), 0);
        ::fflush(stdout);
        pid_t child = ::fork();
        if (child == 0) {
            ::alarm(20); // a hang dies of SIGALRM
            ::close(data[0]);
            ::close(traced[0]);
            ::dup2(data[1], STDOUT_FILENO);
            ::close(data[1]);
            if (c.output == kClosed)
                ::close(STDOUT_FILENO);
            guard_standard_streams();
            // Opened after the start, as the display connection is: it must not receive the
            // trace.
            int later[2];
            if (::pipe(later) != 0 || later[0] <= STDERR_FILENO || later[1] <= STDERR_FILENO)
                ::_exit(3);
            for (int i = 0; i < kLines; i++)
                trace("line %d of a trace longer than anything holds it\n", i);
            if (::write(traced[1], "", 1) != 1)
                ::_exit(4);
            trace("last line\n");
            trace_flush();
            ::fcntl(later[0], F_SETFL, O_NONBLOCK);
            char byte;
            std::exit(::read(later[0], &byte, 1) < 0 ? 0 : 5);
        }
        ASSERT_GT(child, 0);
        ::close(data[1]);
        ::close(traced[1]);
        char byte;
        EXPECT_EQ(::read(traced[0], &byte, 1), 1) << "the child did not trace every line";
        ::close(traced[0]);
        std::string out;
        if (c.output != kUnread) {
            char buffer[65536];
            ssize_t n;
            while ((c.output != kReaderLeaves || out.size() < 100000)
                && (n = ::read(data[0], buffer, sizeof buffer)) > 0)
                out.append(buffer, static_cast<size_t>(n));
        }
        if (c.output == kReaderLeaves)
            ::close(data[0]);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << (WIFSIGNALED(status) ? "signal " : "status ")
            << (WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status));
        if (c.output == kClosed) {
            EXPECT_EQ(out, "");
        }
        if (c.output != kReadLater) {
            ::close(data[0]);
            continue;
        }
        ::close(data[0]);
        // Every line is there or counted where it went missing.
        std::istringstream lines(out);
        std::string line;
        int next = 0, notices = 0;
        while (std::getline(lines, line) && line != "last line") {
            unsigned long dropped = 0;
            int number = -1;
            if (std::sscanf(line.c_str(), "[trace: %lu lines dropped]", &dropped) == 1) {
                next += static_cast<int>(dropped);
                notices++;
            } else if (std::sscanf(line.c_str(), "line %d of", &number) != 1 || number != next++) {
                ADD_FAILURE() << "line " << next - 1 << " expected, read: " << line;
                break;
            }
        }
        EXPECT_EQ(line, "last line");
        EXPECT_EQ(next, kLines);
        EXPECT_GE(notices, 1);
        EXPECT_NE(out.find("\n[trace: "), std::string::npos);
    }
}

TEST_F(GuiPlatform, NullServiceRestoresTheDesktop)
{
    AlertService* desktop = alert_service();
    AlertRecorder recorder;
    EXPECT_EQ(alert_service(), &recorder);
    EXPECT_EQ(set_alert_service(nullptr), &recorder);
    EXPECT_EQ(alert_service(), desktop);
    set_alert_service(&recorder);
}

QMessageBox* find_box()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            return box;
    return nullptr;
}

// The desktop's message box: plain text, the title, buttons in order (the last is the default),
// the index of the pressed one; a non-waiting box deletes itself when dismissed.
TEST_F(GuiPlatform, DesktopAlertShowsPlainTextAndReturnsThePressedButton)
{
    std::string title, text;
    std::vector<std::string> labels;
    bool lastIsDefault = false, modal = false;
    QTimer::singleShot(0, [&] {
        QMessageBox* box = find_box();
        ASSERT_NE(box, nullptr);
        title = box->windowTitle().toStdString();
        text = box->text().toStdString();
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        modal = box->windowModality() == Qt::ApplicationModal;
        const QList<QAbstractButton*> buttons = box->buttons();
        QList<QAbstractButton*> byPlace = buttons;
        std::sort(byPlace.begin(), byPlace.end(),
            [](QAbstractButton* a, QAbstractButton* b) { return a->x() < b->x(); });
        for (QAbstractButton* button : byPlace)
            labels.push_back(button->text().toStdString());
        lastIsDefault = box->defaultButton() == byPlace.back();
        byPlace[1]->click();
    });
    EXPECT_EQ((new BAlert(nullptr, "<b>a.mp3</b>", "No", "Maybe", "Yes"))->Go(), 1);
    EXPECT_EQ(title, "Orvalin");
    EXPECT_EQ(text, "<b>a.mp3</b>");
    EXPECT_EQ(labels, (std::vector<std::string> { "No", "Maybe", "Yes" }));
    EXPECT_TRUE(lastIsDefault);
    EXPECT_TRUE(modal);

    EXPECT_EQ((new BAlert("Note", "later", "OK"))->Go(nullptr), B_OK);
    QPointer<QMessageBox> box = find_box();
    ASSERT_FALSE(box.isNull());
    EXPECT_EQ(box->windowTitle(), "Note");
    EXPECT_EQ(box->windowModality(), Qt::NonModal);
    box->buttons().at(0)->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(box.isNull());
}

const char* const kHelp[] = { "", "Use the tag and attribute variables, and additional",
    "characters of your choice, to build the new filename.",
    "Tags:          /at, /tt, /lt, /yt, /ct", "Attributes:   /aa, /ta, /la, /ya, /ca", "" };

MStringView* text_view(const char* text, alignment align = B_ALIGN_LEFT)
{
    return new MStringView(text, align, minimax(10, 10, 65536, 65536, 1.0f));
}

QLabel* label_of(MStringView* view)
{
    return qobject_cast<QLabel*>(qt_widget_of(view));
}

// A column limited to 61 pixels still shows its long lines whole, and the window opens at its
// content's size, not at its 1-by-1 frame.
TEST_F(GuiPlatform, NarrowColumnShowsItsLinesWhole)
{
    window = new RecordingWindow;
    std::vector<MStringView*> lines;
    for (const char* text : kHelp)
        lines.push_back(text_view(text));
    auto* name = text_view("Name", B_ALIGN_CENTER);
    window->AddChild(new VGroup(new HGroup(minimax(300, -1, -1, -1, 1.0f), name, nullptr),
        new VGroup(minimax(60, -1, 61, -1, 1.0f), lines[0], lines[1], lines[2], lines[3], lines[4],
            lines[5], nullptr),
        new HGroup(new MButton("Prev", new BMessage('prev')),
            new MButton("Next", new BMessage('next')), nullptr),
        nullptr));
    window->Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(qt_widget_of(window)));
    for (size_t i = 0; i < lines.size(); i++) {
        SCOPED_TRACE(kHelp[i]);
        QLabel* label = label_of(lines[i]);
        EXPECT_EQ(label->text().toStdString(), kHelp[i]);
        EXPECT_GE(label->width(), label->sizeHint().width());
        EXPECT_TRUE(label->toolTip().isEmpty());
    }
    const BRect frame = window->Frame();
    EXPECT_GE(frame.Width() + 1, 300);
    EXPECT_GE(frame.Height() + 1, 8 * label_of(name)->sizeHint().height());
    EXPECT_GE(qt_widget_of(window)->width(), qt_widget_of(window)->minimumSizeHint().width());
    EXPECT_EQ(label_of(name)->alignment(), Qt::AlignHCenter | Qt::AlignVCenter);
}

// Equal weights give every child at least its preferred size; unequal ones share the room in
// proportion.
TEST_F(GuiPlatform, WeightsShareTheRoom)
{
    struct Case {
        float left, right;
        int32 rightMinimum;
        double ratio; // of right to left width once the window is wide; 0: not checked; -1: the
                      // left one keeps its preferred width and the right one takes the rest
    };
    for (const Case& c : { Case { 1.0f, 1.0f, 10, 0 }, Case { 1.0f, 3.0f, 10, 3.0 },
             Case { 1.0f, 1.0f, 300, -1 } }) {
        SCOPED_TRACE(std::to_string(c.right) + " " + std::to_string(c.rightMinimum));
        delete window;
        window = new RecordingWindow;
        auto* left = new MStringView("1/2", B_ALIGN_CENTER, minimax(60, -1, -1, -1, c.left));
        auto* right
            = new MStringView("x", B_ALIGN_CENTER, minimax(c.rightMinimum, -1, -1, -1, c.right));
        right->SetText("a rather long file name.mp3"); // needs more than it did when built
        window->AddChild(new HGroup(left, right, nullptr));
        window->Show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(qt_widget_of(window)));
        if (c.ratio == 0) {
            for (QLabel* label : { label_of(left), label_of(right) })
                EXPECT_GE(label->width(), label->sizeHint().width());
            continue;
        }
        qt_widget_of(window)->resize(1000, qt_widget_of(window)->height());
        settle();
        if (c.ratio < 0)
            EXPECT_EQ(label_of(left)->width(), label_of(left)->minimumWidth());
        else
            EXPECT_NEAR(double(label_of(right)->width()) / label_of(left)->width(), c.ratio, 0.1);
    }
}

// A string view keeps the exact bytes and shows their UTF-8 decoding as plain text. The window
// opens wide enough for the first texts; a longer one later elides in the middle, with the whole
// text in the tooltip, rather than resizing the window. Assistive technology reads it whole.
TEST_F(GuiPlatform, StringViewKeepsBytesAndElidesLaterLongTexts)
{
    window = new RecordingWindow;
    auto* name = text_view("Name", B_ALIGN_CENTER);
    window->AddChild(new VGroup(
        new HGroup(
            new HGroup(minimax(60, -1, -1, -1, 1.0f), text_view("1/2", B_ALIGN_CENTER), nullptr),
            new HGroup(minimax(300, -1, -1, -1, 1.0f), name, nullptr), nullptr),
        nullptr));
    const std::string first = "A fairly long first name of a song file - Artist - Album.mp3";
    name->SetText(first.c_str());
    window->Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(qt_widget_of(window)));
    EXPECT_EQ(label_of(name)->text().toStdString(), first);
    EXPECT_GE(label_of(name)->width(), label_of(name)->sizeHint().width());
    EXPECT_GT(label_of(name)->width(), 300);

    const QSize before = qt_widget_of(window)->size();
    const std::string longer = first + first + first;
    name->SetText(longer.c_str());
    settle();
    EXPECT_EQ(qt_widget_of(window)->size(), before);
    EXPECT_EQ(std::string(name->Text()), longer);
    const QString shown = shown_text_of(name);
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
    EXPECT_TRUE(shown.startsWith("A fairly"));
    EXPECT_TRUE(shown.endsWith("Album.mp3"));
    // The tooltip wraps (rich text) and holds the whole text; the keyboard reaches it.
    const QString tip = label_of(name)->toolTip();
    EXPECT_TRUE(Qt::mightBeRichText(tip));
    EXPECT_EQ(QTextDocumentFragment::fromHtml(tip).toPlainText().toStdString(), longer);
    EXPECT_EQ(label_of(name)->focusPolicy(), Qt::TabFocus);
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(label_of(name));
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->text(QAccessible::Name).toStdString(), longer);

    const std::pair<const char*, QString> cases[] = {
        { "<b>x</b>", "<b>x</b>" },
        { "caf\xE9.mp3", QString::fromUtf8("caf\xEF\xBF\xBD.mp3") },
        { "two\nlines", QString::fromUtf8("two\xEF\xBF\xBDlines") },
        { "", "" },
    };
    for (const auto& [bytes, display] : cases) {
        SCOPED_TRACE(bytes);
        name->SetText(bytes);
        EXPECT_EQ(std::string(name->Text()), bytes);
        EXPECT_EQ(label_of(name)->text(), display);
        EXPECT_EQ(shown_text_of(name), display);
        EXPECT_EQ(label_of(name)->textFormat(), Qt::PlainText);
        EXPECT_TRUE(label_of(name)->toolTip().isEmpty());
    }
    name->SetText(nullptr);
    EXPECT_EQ(std::string(name->Text()), "");
}

// The field's text is what it shows, however it got there; the exact bytes last set stand for it
// while it still shows them.
TEST_F(GuiPlatform, TextControlGivesSetBytesUntilTheUserEdits)
{
    OpenWithField();
    auto* lineEdit = qt_widget_of(window)->findChild<QLineEdit*>();
    auto* caption = qt_widget_of(field)->findChild<QLabel*>();
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->text(), "Label");
    EXPECT_EQ(std::string(field->Text()), "text");

    field->SetText("/aa \xE9 /ta");
    EXPECT_EQ(std::string(field->Text()), "/aa \xE9 /ta");
    lineEdit->setFocus();
    lineEdit->end(false);
    QTest::keyClicks(lineEdit, "!");
    EXPECT_EQ(std::string(field->Text()), "/aa \xEF\xBF\xBD /ta!");
    field->SetText("\xFF");
    EXPECT_EQ(std::string(field->Text()), "\xFF");

    // Assistive technology replaces the text through QLineEdit::setText, which sends no
    // textEdited; the field is named by its label.
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(lineEdit);
    ASSERT_NE(reader, nullptr);
    ASSERT_NE(reader->editableTextInterface(), nullptr);
    EXPECT_EQ(reader->text(QAccessible::Name), "Label");
    reader->editableTextInterface()->replaceText(0, 1, "/tt");
    EXPECT_EQ(std::string(field->Text()), "/tt");
}

// Views that never reach a window, and whole trees, are released once (ASan checks).
TEST_F(GuiPlatform, ViewsAreReleasedExactlyOnce)
{
    delete new MStringView("alone", B_ALIGN_LEFT, minimax());
    delete new MBorder(0, 10, "Frame",
        new VGroup(new MTextControl("L", "t"), new MButton("B", new BMessage('b')), nullptr));
    window = new RecordingWindow;
    window->AddChild(new MBorder(0, 10, "Rename", new HGroup(text_view("a"), nullptr)));
    auto* box = qt_widget_of(window)->findChild<QGroupBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->title(), "Rename");
    EXPECT_EQ(box->layout()->contentsMargins(), QMargins(10, 10, 10, 10));
    EXPECT_EQ(qt_widget_of(window)->findChildren<QLabel*>().size(), 1);
}

} // namespace
