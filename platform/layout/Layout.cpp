// platform/layout/Layout.cpp: the layout library over Qt widgets and box layouts.
#include "platform/layout/Layout.h"

#include "platform/app/Message.h"
#include "platform/app/WindowPrivate.h"
#include "platform/layout/QtAccess.h"

#include <QBoxLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QTimer>
#include <QToolTip>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <string>
#include <vector>

struct MView::Private {
    explicit Private(minimax limits)
        : limits(limits)
    {
    }
    virtual ~Private();
    // Applies the limits again, leaves first, once the widgets carry their final style.
    virtual void refresh();

    QPointer<QWidget> widget; // owned by Qt's parent chain once placed in a group or window
    minimax limits;
};

namespace
{

// A string view shows at most about this many characters before eliding, when the window opens.
constexpr int kWidestCharacters = 64;

int maximum_of(int32 limit, int floor)
{
    if (limit < 0)
        return QWIDGETSIZE_MAX;
    return std::min(std::max(static_cast<int>(limit), floor), static_cast<int>(QWIDGETSIZE_MAX));
}

// Turns limits into Qt minimum and maximum sizes. A minimum below what the content needs, and
// a maximum below the resulting minimum, are raised: limits never clip content. A minimum of -1
// leaves Qt's own (the content's need).
void apply_limits(QWidget* widget, const minimax& limits)
{
    if (widget == nullptr)
        return;
    const QSize need = widget->minimumSizeHint().expandedTo(QSize(0, 0));
    const int minWidth = limits.minWidth >= 0 ? std::max<int>(limits.minWidth, need.width()) : 0;
    const int minHeight
        = limits.minHeight >= 0 ? std::max<int>(limits.minHeight, need.height()) : 0;
    widget->setMinimumSize(minWidth, minHeight);
    widget->setMaximumSize(maximum_of(limits.maxWidth, std::max(minWidth, need.width())),
        maximum_of(limits.maxHeight, std::max(minHeight, need.height())));
}

// Text for display: the UTF-8 decoding of the bytes (invalid sequences become U+FFFD), with
// control characters (a newline in a file name) shown as U+FFFD so the text stays one line.
QString display_text(const std::string& bytes)
{
    QString text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    // The control characters (Unicode's Cc: U+0000 to U+001F and U+007F to U+009F).
    for (QChar& c : text)
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f))
            c = QChar::ReplacementCharacter;
    return text;
}

// Button and frame labels: "&" would mark a keyboard mnemonic, so it is doubled.
QString label_text(const char* label)
{
    return display_text(label != nullptr ? label : "").replace(QLatin1Char('&'), "&&");
}

// A one-line label that elides its text in the middle when the room is short, with the whole
// text in its tooltip, wrapped within the screen. While its text is elided the label takes the
// keyboard focus by Tab (after the controls before it, so the buttons keep their order), and
// shows that tooltip while it has it, so that the whole text is readable without a pointer.
// The label itself holds the whole text, so that assistive technology reads
// it whole; only painting elides. A change of text reaches assistive technology as painting
// does: when the label is next laid out or painted, once, with the final text (its accessible
// name), so that a long run sends no event per file that no screen reader could speak. It asks
// for room for its current text (up to a cap) but needs only the room of its first text, so a
// long name loaded later never makes the window jump in size, and fixed texts (the help lines)
// are never cut.
class ElidingLabel : public QLabel
{
public:
    explicit ElidingLabel(const QString& text)
        : QLabel(text)
        , initial(text)
    {
        setTextFormat(Qt::PlainText);
        setAccessibleName(text);
    }

    // Nothing is measured or shaped here: a load sets texts many times for each time they are
    // painted (thousands in an "ALL" run). The size is asked for when the layout next runs, and
    // the elision and tooltip follow at the next paint.
    void setFullText(const QString& text)
    {
        // Asks for a new layout itself where the text changed; announces nothing while the
        // label carries an accessible name.
        setText(text);
        if (!toolTip().isEmpty())
            setToolTip(QString());
    }

    QSize sizeHint() const override { return hintFor(text()); }
    QSize minimumSizeHint() const override { return hintFor(initial); }

    // What the label paints: the whole text, or until it is laid out and visible.
    QString shownText() const
    {
        const QString full = text();
        const int room = contentsRect().width() - 2 * margin();
        const QFontMetrics metrics = fontMetrics();
        if (!isVisible() || metrics.horizontalAdvance(full) <= room)
            return full;
        return metrics.elidedText(full, Qt::ElideMiddle, std::max(room, 0));
    }

protected:
    // The whole text goes to the tooltip where the painted one is elided.
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        drawFrame(&painter);
        const QRect room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
        const QString shown = shownText();
        // Each text runs in its own direction (a file name in Latin letters in a right-to-left
        // window keeps its full stop at its end); the alignment follows the window's.
        painter.setLayoutDirection(shown.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
        style()->drawItemText(&painter, room,
            QStyle::visualAlignment(layoutDirection(), alignment()), palette(), isEnabled(), shown,
            foregroundRole());
        const bool elided = shown != text();
        const QString tip = elided ? wrapped_tip(text()) : QString();
        if (toolTip() != tip)
            setToolTip(tip);
        setFocusPolicy(elided ? Qt::TabFocus : Qt::NoFocus);
        if (hasFocus()) {
            QStyleOptionFocusRect option;
            option.initFrom(this);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
        }
        announceText();
    }

    // A tooltip hides at any key, the release of the Tab that brought the focus here included:
    // it shows once that key is up (or after a moment, for a focus that came otherwise).
    void focusInEvent(QFocusEvent* event) override
    {
        // Only Tab brings the focus here: the window's first focus goes on to a control.
        if (event->reason() != Qt::TabFocusReason && event->reason() != Qt::BacktabFocusReason) {
            for (QWidget* next = nextInFocusChain(); next != this;
                 next = next->nextInFocusChain()) {
                if (dynamic_cast<ElidingLabel*>(next) == nullptr
                    && (next->focusPolicy() & Qt::TabFocus) && next->isVisible()
                    && next->isEnabled()) {
                    next->setFocus(event->reason());
                    return;
                }
            }
        }
        QLabel::focusInEvent(event);
        QTimer::singleShot(kTipDelay, this, [this] { showTip(); });
        update();
    }

    void keyReleaseEvent(QKeyEvent* event) override
    {
        QLabel::keyReleaseEvent(event);
        if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab)
            showTip();
    }

    void focusOutEvent(QFocusEvent* event) override
    {
        QLabel::focusOutEvent(event);
        QToolTip::hideText();
        update();
    }

    void resizeEvent(QResizeEvent* event) override
    {
        QLabel::resizeEvent(event);
        announceText();
    }

    void changeEvent(QEvent* event) override
    {
        QLabel::changeEvent(event);
        if (event->type() == QEvent::FontChange)
            updateGeometry();
    }

private:
    static constexpr int kTipDelay = 500; // milliseconds

    void showTip()
    {
        if (hasFocus() && !toolTip().isEmpty() && !QToolTip::isVisible())
            QToolTip::showText(mapToGlobal(QPoint(0, height())), toolTip(), this);
    }

    // Rich text, so that the tooltip wraps (long names anywhere, not only at blanks) instead of
    // running off the screen; blanks are kept as they are.
    static QString wrapped_tip(const QString& text)
    {
        return QStringLiteral("<p style=\"white-space:pre-wrap\">") + text.toHtmlEscaped()
            + QStringLiteral("</p>");
    }

    // Tells assistive technology the text, once, if it changed since it was last told.
    void announceText()
    {
        if (accessibleName() != text())
            setAccessibleName(text());
    }

    QSize hintFor(const QString& text) const
    {
        const QFontMetrics metrics = fontMetrics();
        const int width = std::min(
            metrics.horizontalAdvance(text), metrics.averageCharWidth() * kWidestCharacters);
        const QMargins margins = contentsMargins();
        return QSize(width + margins.left() + margins.right() + 2 * margin(),
            metrics.height() + margins.top() + margins.bottom() + 2 * margin());
    }

    QString initial;
};

// A push button that Enter and Return press as well as Space, in any window (Qt's own buttons
// take them only as a dialog's default). Holding the key presses it once.
class PushButton : public QPushButton
{
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        const int key = event->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter)
            && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            if (!event->isAutoRepeat())
                click();
            event->accept();
            return;
        }
        QPushButton::keyPressEvent(event);
    }
};

struct GroupPrivate : MView::Private {
    GroupPrivate(Qt::Orientation orientation, minimax limits)
        : Private(limits)
    {
        widget = new QWidget;
        layout = new QBoxLayout(
            orientation == Qt::Vertical ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight,
            widget);
        layout->setContentsMargins(0, 0, 0, 0);
    }

    void refresh() override
    {
        for (std::unique_ptr<MView>& child : children)
            child->PrivateData()->refresh();
        Private::refresh();
    }

    // Takes the children up to the null entry.
    void adopt(MView* first, va_list more)
    {
        for (MView* child = first; child != nullptr; child = va_arg(more, MView*)) {
            children.emplace_back(child);
            layout->addWidget(child->PrivateData()->widget);
        }
        share_spare_room();
        apply_limits(widget, limits);
    }

    // Unequal weights become stretch factors in proportion. Among equal weights the spare room
    // goes to the children that asked for the most room (the largest minimum along the group),
    // such as the wide name and preview cells beside their narrow captions; where all ask alike
    // Qt shares it evenly. Either way no child gets less than its preferred size while there is
    // room for it.
    void share_spare_room()
    {
        const bool across = layout->direction() == QBoxLayout::LeftToRight;
        bool equal = true;
        int32 widest = 0, narrowest = INT32_MAX;
        for (const std::unique_ptr<MView>& child : children) {
            const minimax& limits = child->PrivateData()->limits;
            equal = equal && limits.weight == children[0]->PrivateData()->limits.weight;
            const int32 minimum = std::max<int32>(across ? limits.minWidth : limits.minHeight, 0);
            widest = std::max(widest, minimum);
            narrowest = std::min(narrowest, minimum);
        }
        for (size_t i = 0; i < children.size(); i++) {
            const minimax& limits = children[i]->PrivateData()->limits;
            int stretch = 0;
            if (!equal) {
                const float weight = limits.weight;
                stretch = std::isfinite(weight) && weight > 0
                    ? static_cast<int>(std::lround(std::min(weight, 1e4f) * 100))
                    : 0;
            } else if (widest != narrowest) {
                stretch = std::max<int32>(across ? limits.minWidth : limits.minHeight, 0) == widest;
            } else {
                return;
            }
            layout->setStretch(static_cast<int>(i), stretch);
        }
    }

    QBoxLayout* layout;
    std::vector<std::unique_ptr<MView>> children;
};

struct BorderPrivate : MView::Private {
    BorderPrivate()
        : Private(minimax())
    {
    }

    void refresh() override
    {
        if (child)
            child->PrivateData()->refresh();
        Private::refresh();
    }

    std::unique_ptr<MView> child;
};

struct StringViewPrivate : MView::Private {
    explicit StringViewPrivate(minimax limits)
        : Private(limits)
    {
    }
    std::string text;
    ElidingLabel* label = nullptr;
};

struct TextControlPrivate : MView::Private {
    TextControlPrivate()
        : Private(minimax())
    {
    }

    std::string text; // the bytes last set
    QString decoded; // their decoding, as the field showed them when set
    std::string current; // the field's text as UTF-8, for Text()
    QLineEdit* field = nullptr;
};

struct ButtonPrivate : MView::Private {
    explicit ButtonPrivate(minimax limits)
        : Private(limits)
    {
    }
    ~ButtonPrivate() override { QObject::disconnect(clicks); }

    std::string label;
    std::unique_ptr<BMessage> message;
    QMetaObject::Connection clicks;
};

template <typename T> T* data_of(const MView* view)
{
    return static_cast<T*>(view->PrivateData());
}

} // namespace

// A view that never went into a group or window still owns its widget.
MView::Private::~Private()
{
    if (widget && widget->parent() == nullptr)
        delete widget;
}

// Before a window is first shown its layouts are never activated, so sizes cached along the tree
// miss texts set since the views were built: drop them, leaves first, before reading them.
void MView::Private::refresh()
{
    if (widget && widget->layout()) {
        widget->layout()->invalidate();
        widget->updateGeometry(); // the cache of this widget's item in its parent's layout
    }
    apply_limits(widget, limits);
}

MView::MView(Private* data)
    : fPrivate(data)
{
}

MView::~MView() = default;

VGroup::VGroup(minimax limits, MView* child, ...)
    : MView(new GroupPrivate(Qt::Vertical, limits))
{
    va_list more;
    va_start(more, child);
    data_of<GroupPrivate>(this)->adopt(child, more);
    va_end(more);
}

VGroup::VGroup(MView* child, ...)
    : MView(new GroupPrivate(Qt::Vertical, minimax()))
{
    va_list more;
    va_start(more, child);
    data_of<GroupPrivate>(this)->adopt(child, more);
    va_end(more);
}

HGroup::HGroup(minimax limits, MView* child, ...)
    : MView(new GroupPrivate(Qt::Horizontal, limits))
{
    va_list more;
    va_start(more, child);
    data_of<GroupPrivate>(this)->adopt(child, more);
    va_end(more);
}

HGroup::HGroup(MView* child, ...)
    : MView(new GroupPrivate(Qt::Horizontal, minimax()))
{
    va_list more;
    va_start(more, child);
    data_of<GroupPrivate>(this)->adopt(child, more);
    va_end(more);
}

// Every kind is drawn as the desktop style's group box.
MBorder::MBorder(int32 /*kind*/, int32 spacing, const char* label, MView* child)
    : MView(new BorderPrivate)
{
    auto* d = data_of<BorderPrivate>(this);
    auto* box = new QGroupBox(label_text(label));
    d->widget = box;
    auto* layout = new QVBoxLayout(box);
    const int margin = std::clamp<int32>(spacing, 0, 1000);
    layout->setContentsMargins(margin, margin, margin, margin);
    if (child != nullptr) {
        d->child.reset(child);
        layout->addWidget(child->PrivateData()->widget);
    }
    apply_limits(box, d->limits);
}

MStringView::MStringView(const char* text, alignment align, minimax limits)
    : MView(new StringViewPrivate(limits))
{
    auto* d = data_of<StringViewPrivate>(this);
    d->text = text != nullptr ? text : "";
    d->label = new ElidingLabel(display_text(d->text));
    d->widget = d->label;
    Qt::Alignment horizontal = Qt::AlignLeft;
    if (align == B_ALIGN_RIGHT)
        horizontal = Qt::AlignRight;
    else if (align == B_ALIGN_CENTER)
        horizontal = Qt::AlignHCenter;
    d->label->setAlignment(horizontal | Qt::AlignVCenter);
    apply_limits(d->label, limits);
}

void MStringView::SetText(const char* text)
{
    auto* d = data_of<StringViewPrivate>(this);
    d->text = text != nullptr ? text : "";
    d->label->setFullText(display_text(d->text));
}

const char* MStringView::Text() const
{
    return data_of<StringViewPrivate>(this)->text.c_str();
}

MTextControl::MTextControl(const char* label, const char* text)
    : MView(new TextControlPrivate)
{
    auto* d = data_of<TextControlPrivate>(this);
    d->widget = new QWidget;
    auto* layout = new QHBoxLayout(d->widget);
    layout->setContentsMargins(0, 0, 0, 0);
    const QString name = display_text(label != nullptr ? label : "");
    auto* caption = new QLabel(name);
    caption->setTextFormat(Qt::PlainText);
    d->field = new QLineEdit;
    caption->setBuddy(d->field);
    d->field->setAccessibleName(name);
    layout->addWidget(caption);
    layout->addWidget(d->field, 1);
    SetText(text);
    apply_limits(d->widget, d->limits);
}

// Whatever changed the field (typing, paste, an input method, undo, assistive technology calling
// setText), what it shows now is the text; only while that is still what SetText showed do the
// exact bytes stand for it.
const char* MTextControl::Text() const
{
    auto* d = data_of<TextControlPrivate>(this);
    const QString shown = d->field->text();
    if (shown == d->decoded)
        return d->text.c_str();
    d->current = shown.toUtf8().toStdString();
    return d->current.c_str();
}

void MTextControl::SetText(const char* text)
{
    auto* d = data_of<TextControlPrivate>(this);
    d->text = text != nullptr ? text : "";
    d->field->setText(QString::fromUtf8(d->text.data(), static_cast<qsizetype>(d->text.size())));
    d->decoded = d->field->text();
}

// Without a message the button does nothing; target is ignored (presses go to the window).
MButton::MButton(const char* label, BMessage* message, BHandler* /*target*/, minimax limits)
    : MView(new ButtonPrivate(limits))
{
    auto* d = data_of<ButtonPrivate>(this);
    d->label = label != nullptr ? label : "";
    d->message.reset(message);
    auto* button = new PushButton(label_text(label));
    button->setAccessibleName(display_text(d->label));
    d->widget = button;
    d->clicks = QObject::connect(button, &QPushButton::clicked, [d, button] {
        BWindow* window = window_of(button);
        if (window != nullptr && d->message)
            window->PostMessage(d->message.get());
    });
    apply_limits(button, limits);
}

const char* MButton::Label() const
{
    return data_of<ButtonPrivate>(this)->label.c_str();
}

MWindow::MWindow(BRect frame, const char* title, window_type type, uint32 flags, uint32 workspace)
    : BWindow(frame, title, type, flags, workspace)
{
}

// The view tree goes before the widgets, which BWindow's destructor deletes.
MWindow::~MWindow()
{
    fRoots.clear();
}

// Re-applies the tree's size limits once the widgets are polished, leaves first.
void MWindow::WillShow()
{
    for (std::unique_ptr<MView>& root : fRoots)
        root->PrivateData()->refresh();
}

// The window can be made larger than its tree's minimum, never smaller.
void MWindow::AddChild(MView* root)
{
    if (root == nullptr)
        return;
    BWindow::Private* d = PrivateData();
    auto* layout = static_cast<QBoxLayout*>(d->widget->layout());
    if (layout == nullptr) {
        layout = new QVBoxLayout(d->widget);
        layout->setSizeConstraint(QLayout::SetMinimumSize);
    }
    layout->addWidget(root->PrivateData()->widget);
    fRoots.emplace_back(root);
}

QWidget* qt_widget_of(const MView* view)
{
    return view != nullptr ? view->PrivateData()->widget.data() : nullptr;
}

QString shown_text_of(const MStringView* view)
{
    auto* label = view != nullptr ? data_of<StringViewPrivate>(view)->label : nullptr;
    return label != nullptr ? label->shownText() : QString();
}
