// tests/window_view_test.cpp: the real window offscreen: its widgets, their order and texts,
// its place and size, and the input that reaches its command loop.
#include "tests/support/WindowHarness.h"

#include "platform/app/QtAccess.h"

#include <QAccessible>
#include <QApplication>
#include <QDropEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <QWindow>

namespace
{

// The leaf widgets in layout order: borders, labels (with their alignment), fields, buttons.
void describe(QLayout* layout, std::vector<std::string>& out);

void describe(QWidget* widget, std::vector<std::string>& out)
{
    if (!widget->isVisibleTo(widget->window()) && widget != widget->window())
        return;
    if (auto* box = qobject_cast<QGroupBox*>(widget))
        out.push_back("border " + box->title().toStdString());
    else if (auto* label = qobject_cast<QLabel*>(widget))
        out.push_back(std::string(label->alignment() & Qt::AlignHCenter ? "centre " : "left ")
            + label->text().toStdString());
    else if (auto* field = qobject_cast<QLineEdit*>(widget))
        out.push_back("field " + field->text().toStdString());
    else if (auto* button = qobject_cast<QPushButton*>(widget))
        out.push_back("button " + button->text().toStdString());
    if (widget->layout())
        describe(widget->layout(), out);
}

void describe(QLayout* layout, std::vector<std::string>& out)
{
    for (int i = 0; i < layout->count(); i++) {
        QLayoutItem* item = layout->itemAt(i);
        if (item->widget())
            describe(item->widget(), out);
        else if (item->layout())
            describe(item->layout(), out);
    }
}

} // namespace

class WindowView : public WindowHarness
{
protected:
    void SetUp() override
    {
        Song("a.mp3", { { "Artist", "A" }, { "Title", "B" }, { "Album", "C" } });
        Song("b.mp3");
        Open({ "a.mp3", "b.mp3" });
    }
    QWidget* Top() const { return qt_widget_of(win); }
    void ShowAndActivate()
    {
        win->Show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Top()));
        Top()->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(Top()));
    }
};

TEST_F(WindowView, WidgetTreeInOrderWithItsTexts)
{
    std::vector<std::string> leaves;
    describe(Top(), leaves);
    const std::vector<std::string> expected = {
        "border Rename",
        "centre 1/2",
        "centre a.mp3",
        "left Preview",
        "centre A - B - C.mp3",
        "left ",
        "left Use the tag and attribute variables, and additional",
        "left characters of your choice, to build the new filename.",
        "left Tags:          /at, /tt, /lt, /yt, /ct",
        "left Attributes:   /aa, /ta, /la, /ya, /ca",
        "left Track:         /nt, /na",
        "left ",
        "left Name-constructor",
        "field /aa - /ta - /la.mp3",
        "left ",
        "button Add .mp3",
        "button Remove .mp3",
        "button Rename",
        "button About",
        "button Prev",
        "button Next",
    };
    EXPECT_EQ(leaves, expected);
    EXPECT_EQ(win->Title(), std::string("Orvalin"));
}

TEST_F(WindowView, OpensAtItsCornerSizedToItsContent)
{
    ShowAndActivate();
    BRect frame = win->Frame();
    EXPECT_EQ(frame.LeftTop(), BPoint(100, 100));
    EXPECT_GE(frame.Width(), 360); // the left cell's 60 and the right cell's 300 at least
    EXPECT_GE(frame.Height(), 200);
    // Every help line shows whole, though its column asks for at most 61 pixels.
    for (QLabel* label : Top()->findChildren<QLabel*>()) {
        if (label->text().startsWith("Use the tag") || label->text().startsWith("Attributes:")) {
            SCOPED_TRACE(label->text().toStdString());
            EXPECT_GE(label->width(), label->sizeHint().width());
        }
    }
}

TEST_F(WindowView, ButtonPressReachesTheCommandLoop)
{
    ShowAndActivate();
    QPushButton* next = nullptr;
    for (QPushButton* button : Top()->findChildren<QPushButton*>())
        if (button->text() == "Next")
            next = button;
    ASSERT_NE(next, nullptr);
    output.Take();
    QTest::mouseClick(next, Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(Pos(), "2/2");
    EXPECT_NE(output.Take().find("window::MessageReceived()\nposition++ 1\n"), std::string::npos);
}

TEST_F(WindowView, ModifierPressAndReleaseEachToggleOnce)
{
    ShowAndActivate();
    QWindow* handle = Top()->windowHandle();
    ASSERT_NE(handle, nullptr);
    QTest::keyPress(handle, Qt::Key_Shift);
    QCoreApplication::processEvents();
    EXPECT_EQ(Pos(), "ALL");
    QTest::keyRelease(handle, Qt::Key_Shift);
    QCoreApplication::processEvents();
    EXPECT_EQ(Pos(), "1/2");

    // Also while the template field has the focus.
    QLineEdit* field = Top()->findChild<QLineEdit*>();
    ASSERT_NE(field, nullptr);
    field->setFocus();
    QTest::keyPress(handle, Qt::Key_Control);
    QCoreApplication::processEvents();
    EXPECT_TRUE(win->all_files);
    QTest::keyRelease(handle, Qt::Key_Control);
    QCoreApplication::processEvents();
    EXPECT_FALSE(win->all_files);
    QTest::keyClick(handle, Qt::Key_X);
    QCoreApplication::processEvents();
    EXPECT_FALSE(win->all_files);
}

TEST_F(WindowView, DroppedFilesJoinTheList)
{
    ShowAndActivate();
    Song("c.mp3");
    Song("caf\xE9.mp3");
    QMimeData data;
    data.setUrls({ QUrl::fromLocalFile(QString::fromStdString(dir.PathOf("c.mp3"))),
        QUrl::fromEncoded(QByteArray("file://")
            + QByteArray(dir.Path().c_str()).toPercentEncoding("/") + "/caf%E9.mp3") });
    QPoint at(10, 10);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Top(), &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Top(), &drop);
    QCoreApplication::processEvents();
    ASSERT_EQ(win->CountFiles(), 4);
    EXPECT_EQ(win->file_refs[2].name, "c.mp3");
    EXPECT_EQ(win->file_refs[3].name, "caf\xE9.mp3");
    EXPECT_EQ(Pos(), "1/4");
}

// What assistive technology finds: each control named by its label, Tab through them in the
// layout's order, Space pressing the focused button.
TEST_F(WindowView, ControlsAreNamedAndReachedInLayoutOrder)
{
    ShowAndActivate();
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(Top());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->role(), QAccessible::Window); // a frame, not a filler
    EXPECT_EQ(window->text(QAccessible::Name), "Orvalin");
    const std::vector<std::string> order
        = { "Name-constructor", "Add .mp3", "Remove .mp3", "Rename", "About", "Prev", "Next" };
    QLineEdit* field = Top()->findChild<QLineEdit*>();
    ASSERT_NE(field, nullptr);
    field->setFocus();
    std::vector<std::string> reached;
    for (size_t i = 0; i < order.size(); i++) {
        QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(qApp->focusWidget());
        ASSERT_NE(reader, nullptr);
        reached.push_back(reader->text(QAccessible::Name).toStdString());
        QTest::keyClick(qApp->focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(reached, order);
    // The focus has wrapped round to the field; back to "Next", and Space presses it.
    QTest::keyClick(qApp->focusWidget(), Qt::Key_Backtab);
    QTest::keyClick(qApp->focusWidget(), Qt::Key_Space);
    QCoreApplication::processEvents();
    EXPECT_EQ(Pos(), "2/2");
}

// The template is what the field shows, also when assistive technology set it (through
// QLineEdit::setText, which sends no textEdited); bytes that are not UTF-8 survive a round trip
// through the settings while the field still shows them.
TEST_F(WindowView, TemplateIsWhatTheFieldShows)
{
    struct Case {
        const char* set; // through SetText, as the settings restore it
        const char* shown; // then through the field's setText; null: left alone
        std::string preview; // at the next step
        std::string stored;
    };
    const Case cases[] = {
        { "/aa", "/ta (/aa)", "B2 (A2)", "/ta (/aa)" },
        { "/ta \xE9", nullptr, "B2 \xE9", "/ta \xE9" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.set);
        Close();
        Song("b.mp3", { { "Artist", "A2" }, { "Title", "B2" } });
        Open({ "a.mp3", "b.mp3" });
        SetTemplate(c.set);
        QLineEdit* field = Top()->findChild<QLineEdit*>();
        ASSERT_NE(field, nullptr);
        if (c.shown != nullptr)
            field->setText(QString::fromUtf8(c.shown));
        Send(CMD_NEXT);
        EXPECT_EQ(Preview(), c.preview);
        Close();
        BMessage stored;
        const std::string bytes = config.Read("Kelterhof-Orvalin");
        ASSERT_EQ(stored.Unflatten(bytes.data(), bytes.size()), B_OK);
        BString text;
        ASSERT_EQ(stored.FindString("constructor", &text), B_OK);
        EXPECT_EQ(text, c.stored);
        Open({ "a.mp3", "b.mp3" });
    }
}
