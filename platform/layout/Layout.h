// platform/layout/Layout.h: the layout library: groups, a labelled border, string views, a text
// control and buttons that arrange themselves from size limits, and a window sized by them.
#pragma once

#include "platform/app/Window.h"

#include <memory>
#include <vector>

class BHandler;
class BMessage;

enum alignment { B_ALIGN_LEFT = 0, B_ALIGN_RIGHT = 1, B_ALIGN_CENTER = 2 };

// Size limits: minimum width and height, maximum width and height, and a weight by which
// spare room is shared among siblings. A value below 0 means "no limit": no minimum beyond what
// the content needs, no maximum. A limit never makes a widget smaller than its content needs to
// stay readable: a maximum below the content's own minimum is raised to it (so a narrow column
// of help text widens to show its lines whole rather than clipping them).
struct minimax {
    minimax(int32 minWidth = -1, int32 minHeight = -1, int32 maxWidth = -1, int32 maxHeight = -1,
        float weight = 1.0f)
        : minWidth(minWidth)
        , minHeight(minHeight)
        , maxWidth(maxWidth)
        , maxHeight(maxHeight)
        , weight(weight)
    {
    }
    int32 minWidth, minHeight, maxWidth, maxHeight;
    float weight;
};

// A widget of the layout tree. A group owns its children; a window owns its root.
class MView
{
public:
    virtual ~MView();
    MView(const MView&) = delete;
    MView& operator=(const MView&) = delete;

    struct Private;
    Private* PrivateData() const { return fPrivate.get(); }

protected:
    explicit MView(Private* data);
    std::unique_ptr<Private> fPrivate;
};

// Groups take their children in order, ending with a null entry. Without a minimax a group
// takes its children's needs and no maximum.
class VGroup : public MView
{
public:
    VGroup(minimax limits, MView* child, ...);
    VGroup(MView* child, ...);
};

class HGroup : public MView
{
public:
    HGroup(minimax limits, MView* child, ...);
    HGroup(MView* child, ...);
};

// A labelled frame around one child; kind 0 is a plain line. spacing is the room in pixels
// between the frame and the child.
class MBorder : public MView
{
public:
    MBorder(int32 kind, int32 spacing, const char* label, MView* child);
};

// One line of text the user cannot edit. It holds the exact bytes it is given and shows
// their UTF-8 decoding as plain text, elided in the middle when the room is short; assistive
// technology always gets the whole text.
class MStringView : public MView
{
public:
    MStringView(const char* text, alignment align, minimax limits);
    void SetText(const char* text);
    const char* Text() const;
};

// A label and an editable one-line field; it sends no message. The label names the field for
// assistive technology.
class MTextControl : public MView
{
public:
    MTextControl(const char* label, const char* text);
    // The field's text as bytes: exactly what SetText stored while the field still shows that,
    // else the UTF-8 encoding of what the field shows, however it got there.
    const char* Text() const;
    void SetText(const char* text);
};

// A push button that posts a copy of its message to its window on each press (a click, or Space,
// Enter or Return while it has the focus); its label is its accessible name. The button takes over
// message. target must be null (the window).
class MButton : public MView
{
public:
    MButton(const char* label, BMessage* message, BHandler* target = nullptr,
        minimax limits = minimax(-1, -1, 1000000, 1000000, 1.0f));
    const char* Label() const;
};

// A window that lays out its one child tree and takes its size from it.
class MWindow : public BWindow
{
public:
    MWindow(BRect frame, const char* title, window_type type, uint32 flags,
        uint32 workspace = B_CURRENT_WORKSPACE);
    ~MWindow() override;
    // Takes over root.
    void AddChild(MView* root);

protected:
    void WillShow() override;

private:
    std::vector<std::unique_ptr<MView>> fRoots;
};
