// tests/support/WindowHarness.h: a fixture that opens the real window offscreen on real files,
// with alerts and beeps recorded, the trace captured and the settings kept in a scratch folder.
#pragma once

#include "tests/support/Recorder.h"
#include "tests/support/Scratch.h"

#include "platform/app/Message.h"
#include "window/TagViewer_window.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

class WindowHarness : public ::testing::Test
{
protected:
    WindowHarness();
    ~WindowHarness() override;

    // An MP3 with silent frames, optional ID3v1 texts {title, artist, album, year, comment}, and
    // user.* attributes.
    entry_ref Song(const std::string& name, const std::map<std::string, std::string>& attrs = {},
        const std::vector<std::string>& id3v1 = {});
    // A message whose "refs" lists the named files of the scratch folder.
    BMessage Refs(const std::vector<std::string>& names, uint32 what = 'RRCV');
    // Opens the window (not shown) on the named files.
    TagViewer_window* Open(const std::vector<std::string>& names);
    void Close(); // deletes the window
    void Send(uint32 what); // hands one message to MessageReceived
    // The texts of the display slots.
    std::string Pos() const;
    std::string Name() const;
    std::string Preview() const;
    void SetTemplate(const std::string& text);

    // Where other users reach them too: some tests run a command as nobody.
    ScratchDir dir { ScratchFor::OtherUsers };
    ScratchDir config { ScratchFor::OtherUsers }; // XDG_CONFIG_HOME
    AlertRecorder alerts;
    TraceCapture output;
    TagViewer_window* win = nullptr;
};
