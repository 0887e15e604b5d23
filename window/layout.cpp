// window/layout.cpp: the window's widget tree.
#include "window/TagViewer_window.h"

#include "platform/app/Catalog.h"
#include "platform/app/Message.h"

namespace
{

const minimax kStringLimits(10, 10, 65536, 65536, 1.0f);
const minimax kButtonLimits(-1, -1, 1000000, 1000000, 1.0f);
const minimax kRowLimits(-1, -1, -1, -1, 1.0f);
const minimax kLeftCellLimits(60, -1, -1, -1, 1.0f);
const minimax kRightCellLimits(300, -1, -1, -1, 1.0f);

// The texts come translated; the caller marks each for the catalogue.
MView* label(const char* text, alignment align = B_ALIGN_LEFT)
{
    return new MStringView(text, align, kStringLimits);
}

MView* button(const char* text, uint32 command)
{
    return new MButton(text, new BMessage(command), nullptr, kButtonLimits);
}

} // namespace

void TagViewer_window::build_views()
{
    pos_view = new MStringView("000/000", B_ALIGN_CENTER, kStringLimits);
    name_view = new MStringView(translated("Window", "Name"), B_ALIGN_CENTER, kStringLimits);
    preview_view = new MStringView("", B_ALIGN_CENTER, kStringLimits);
    constructor_control
        = new MTextControl(translated("Window", "Name-constructor"), kInitialTemplate);

    MView* positionRow = new HGroup(kRowLimits, new HGroup(kLeftCellLimits, pos_view, nullptr),
        new HGroup(kRightCellLimits, name_view, nullptr), nullptr);
    MView* previewRow = new HGroup(kRowLimits,
        new HGroup(kLeftCellLimits, label(translated("Window", "Preview")), nullptr),
        new HGroup(kRightCellLimits, preview_view, nullptr), nullptr);
    MView* help = new VGroup(minimax(60, -1, 61, -1, 1.0f), label(""),
        label(translated("Window", "Use the tag and attribute variables, and additional")),
        label(translated("Window", "characters of your choice, to build the new filename.")),
        label(translated("Window", "Tags:          /at, /tt, /lt, /yt, /ct")),
        label(translated("Window", "Attributes:   /aa, /ta, /la, /ya, /ca")),
        label(translated("Window", "Track:         /nt, /na")), label(""), nullptr);
    MView* renameButtons
        = new HGroup(kRightCellLimits, button(translated("Window", "Add .mp3"), CMD_ADD_MP3),
            button(translated("Window", "Remove .mp3"), CMD_REMOVE_MP3),
            button(translated("Window", "Rename"), CMD_RENAME), nullptr);
    MView* navigationButtons
        = new HGroup(kRowLimits, button(translated("Window", "About"), CMD_ABOUT),
            button(translated("Window", "Prev"), CMD_PREV),
            button(translated("Window", "Next"), CMD_NEXT), nullptr);

    MView* column = new VGroup(positionRow, previewRow, help, constructor_control, label(""),
        renameButtons, navigationButtons, nullptr);
    AddChild(new VGroup(
        new HGroup(new MBorder(0, 10, translated("Window", "Rename"), column), nullptr), nullptr));
}
