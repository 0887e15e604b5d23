// tests/support/WindowHarness.cpp: the window fixture.
#include "tests/support/WindowHarness.h"

#include "platform/app/Application.h"
#include "scripts/mp3gen.h"

#include <cstdlib>

WindowHarness::WindowHarness()
{
    ensure_gui();
    ::setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
}

WindowHarness::~WindowHarness()
{
    Close();
}

entry_ref WindowHarness::Song(const std::string& name,
    const std::map<std::string, std::string>& attrs, const std::vector<std::string>& id3v1)
{
    std::string tag;
    if (!id3v1.empty()) {
        mp3gen::Id3v1 fields;
        std::string* slots[]
            = { &fields.title, &fields.artist, &fields.album, &fields.year, &fields.comment };
        for (size_t i = 0; i < id3v1.size() && i < 5; i++)
            *slots[i] = id3v1[i];
        tag = mp3gen::id3v1(fields);
    }
    entry_ref ref = dir.MakeMp3(name, tag);
    for (const auto& [attribute, value] : attrs)
        dir.SetAttr(name, attribute, value);
    return ref;
}

BMessage WindowHarness::Refs(const std::vector<std::string>& names, uint32 what)
{
    BMessage msg(what);
    for (const std::string& name : names) {
        entry_ref ref = dir.Ref(name);
        msg.AddRef("refs", &ref);
    }
    return msg;
}

TagViewer_window* WindowHarness::Open(const std::vector<std::string>& names)
{
    Close();
    BMessage msg = Refs(names);
    win = new TagViewer_window(BRect(100, 100, 101, 101), &msg);
    return win;
}

void WindowHarness::Close()
{
    delete win;
    win = nullptr;
}

void WindowHarness::Send(uint32 what)
{
    BMessage msg(what);
    win->MessageReceived(&msg);
}

std::string WindowHarness::Pos() const
{
    return win->pos_view->Text();
}

std::string WindowHarness::Name() const
{
    return win->name_view->Text();
}

std::string WindowHarness::Preview() const
{
    return win->preview_view->Text();
}

void WindowHarness::SetTemplate(const std::string& text)
{
    win->constructor_control->SetText(text.c_str());
}
