// tests/loading_test.cpp: loading the current file: name, tag texts, attributes, position.
#include "tests/support/WindowHarness.h"

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using Loading = WindowHarness;

namespace
{
const char* kTagAlert = "Orvalin:\nCould not read MP3-tags.\nPlease terminate program.";

// Takes CAP_DAC_OVERRIDE out of the calling thread's effective capabilities, or gives back all
// it is permitted: without it root meets file modes as other users do.
bool dac_override(bool on)
{
    __user_cap_header_struct header { _LINUX_CAPABILITY_VERSION_3, 0 };
    __user_cap_data_struct data[2] {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    data[0].effective = on ? data[0].permitted : data[0].effective & ~(1u << CAP_DAC_OVERRIDE);
    return ::syscall(SYS_capset, &header, data) == 0;
}
}

TEST_F(Loading, FillsTheTenVariablesFromTagAndAttributes)
{
    // ID3v1 texts are UTF-8 where they are strictly that, else Latin-1 made UTF-8 (an overlong
    // "/" is not UTF-8); attributes keep their bytes.
    Song("full.mp3",
        { { "Title", "A-Title" }, { "Artist", "An Artist" }, { "Album", "\xC5lbum" },
            { "Year", "1999" }, { "Comment", "nice" } },
        { "Tag Title", "Bj\xF6rk", "\xC3\x85lbum", "2001", "\xC0\xAF" });
    Open({ "full.mp3" });
    EXPECT_EQ(Name(), "full.mp3");
    EXPECT_EQ(Pos(), "1/1");
    EXPECT_EQ(win->title_tag, "Tag Title");
    EXPECT_EQ(win->artist_tag, "Bj\xC3\xB6rk");
    EXPECT_EQ(win->album_tag, "\xC3\x85lbum");
    EXPECT_EQ(win->year_tag, "2001");
    EXPECT_EQ(win->comment_tag, "\xC3\x80\xC2\xAF");
    EXPECT_EQ(win->title_attr, "A-Title");
    EXPECT_EQ(win->artist_attr, "An Artist");
    EXPECT_EQ(win->album_attr, "\xC5lbum");
    EXPECT_EQ(win->year_attr, "1999");
    EXPECT_EQ(win->comment_attr, "nice");
    EXPECT_EQ(Preview(), "An Artist - A-Title - \xC5lbum.mp3");
    EXPECT_TRUE(alerts.alerts.empty());
    EXPECT_EQ(alerts.beeps, 0);
    std::string trace = output.Take();
    EXPECT_EQ(trace.rfind("Window constructor()\nread_tags()\nnew_name()\n", 0), 0u) << trace;
    EXPECT_NE(trace.find("leaving read_file()\n1/1\n"), std::string::npos);
}

TEST_F(Loading, FileWithoutTagOrAttributesLoadsQuietlyWithEmptyTexts)
{
    Song("bare.mp3");
    Open({ "bare.mp3" });
    for (BString* text : { &win->title_tag, &win->artist_tag, &win->album_tag, &win->year_tag,
             &win->comment_tag, &win->title_attr, &win->artist_attr, &win->album_attr,
             &win->year_attr, &win->comment_attr })
        EXPECT_EQ(*text, "");
    EXPECT_EQ(win->track_tag, "");
    EXPECT_EQ(win->track_attr, "");
    EXPECT_EQ(Preview(), "bare.mp3"); // no song information: the file keeps its name
    EXPECT_TRUE(alerts.alerts.empty());
    EXPECT_EQ(alerts.beeps, 0);
}

TEST_F(Loading, TrackNumbersArePaddedAsNamesSortThem)
{
    const struct {
        std::string text; // of the attribute "Track"
        const char* track;
    } attributes[] = {
        { "7", "07" },
        { "7/12", "07" },
        { "7/120", "007" },
        { "7/9", "07" },
        { "7 (bonus)", "07" },
        { "A1", "A1" },
        { "99999999999999999999/3", "99999999999999999999" },
        { "1/99999999999999999999", "00000000000000000001" },
        { "-3", "-3" },
        { "   ", "   " },
        { std::string("7\0/120", 6), "07" },
        { std::string("\0"
                      "7",
              2),
            "" },
    };
    for (const auto& a : attributes) {
        SCOPED_TRACE(a.text);
        Song("track.mp3", { { "Track", a.text } });
        Open({ "track.mp3" });
        EXPECT_EQ(win->track_attr, a.track);
        EXPECT_TRUE(alerts.alerts.empty());
    }

    // The ID3v1.1 track byte; a file with neither gives empty texts.
    const struct {
        std::string comment;
        const char* track;
    } tags[] = {
        { std::string(29, '\0') + "\x07", "07" },
        { std::string(29, '\0') + "\xFF", "255" },
        { "Fine", "" },
    };
    for (const auto& t : tags) {
        SCOPED_TRACE(t.track);
        Song("track.mp3", {}, { "T", "", "", "", t.comment });
        Open({ "track.mp3" });
        EXPECT_EQ(win->track_tag, t.track);
        EXPECT_EQ(win->track_attr, "");
    }
}

TEST_F(Loading, Id3v1TextsAreReadAsTheirWritersMeantThem)
{
    const std::string x26(26, 'x');
    const struct {
        std::string title; // as stored in the tag
        std::string text;
    } cases[] = {
        { "\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9" }, // UTF-8 stays
        { "\x80 \x93q\x94 \x85\x99",
            "\xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D \xE2\x80\xA6\xE2\x84\xA2" },
        { "\x8A\x8C\x8E\x9A\x9C\x9E\x9F",
            "\xC5\xA0\xC5\x92\xC5\xBD\xC5\xA1\xC5\x93\xC5\xBE\xC5\xB8" },
        { "a\x81\x8D\x8F\x90\x9D"
          "b",
            "ab" }, // undefined in Windows-1252
        { "Bj\xF6rk", "Bj\xC3\xB6rk" },
        // A full field whose last character its writer cut: UTF-8 without the tail.
        { "\xC3\xA9" + x26 + "\xE2\x82", "\xC3\xA9" + x26 },
        { "\xC3\xA9" + std::string(27, 'x') + "\xF0", "\xC3\xA9" + std::string(27, 'x') },
        // No complete multi-byte character before the tail, or a field not full: Windows-1252.
        { std::string(29, 'x') + "\xC3", std::string(29, 'x') + "\xC3\x83" },
        { "\xC3\xA9x\xE2\x82", "\xC3\x83\xC2\xA9x\xC3\xA2\xE2\x80\x9A" },
        // A tail that no character starts with is not a cut.
        { "\xC3\xA9" + x26 + "\xE2\x41", "\xC3\x83\xC2\xA9" + x26 + "\xC3\xA2\x41" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Song("latin.mp3", {}, { c.title });
        Open({ "latin.mp3" });
        EXPECT_EQ(std::string(win->title_tag.String()), c.text);
    }
}

TEST_F(Loading, EmptyAttributeBeepsAndLongOneIsCut)
{
    Song("odd.mp3", { { "Title", "" }, { "Album", std::string(300, 'x') } });
    Open({ "odd.mp3" });
    EXPECT_EQ(win->title_attr, "");
    EXPECT_EQ(win->album_attr, std::string(255, 'x'));
    EXPECT_EQ(alerts.beeps, 1);
    EXPECT_TRUE(alerts.alerts.empty());

    // A cut inside a UTF-8 character moves back to its first byte; other bytes are cut as
    // they stand.
    const std::string x(250, 'x');
    const struct {
        std::string text;
        size_t kept;
    } cuts[] = {
        { x + "abcd\xC3\xA9" + x, 254 }, // é: 2 bytes
        { x + "abc\xE2\x82\xAC" + x, 253 }, // €: 3 bytes
        { x + "ab\xF0\x9F\x8E\xB5" + x, 252 }, // a note: 4 bytes
        { x + "abc\xC3\xA9" + x, 255 }, // the cut falls between two characters
        { x + "abc\xC3\xA9", 255 }, // nothing to cut
        { x + "abcd\xE9\xE9" + x, 255 }, // Latin-1, not UTF-8
        { "\xFF" + x + "abc\xC3\xA9" + x, 255 }, // invalid before the cut
    };
    for (const auto& cut : cuts) {
        SCOPED_TRACE(cut.kept);
        Song("utf8.mp3", { { "Title", cut.text } });
        Open({ "utf8.mp3" });
        EXPECT_EQ(std::string(win->title_attr.String()), cut.text.substr(0, cut.kept));
    }
}

TEST_F(Loading, ReadOnlyFileLoadsItsTagAndAnUnreadableOneKeepsThePreviousTexts)
{
    Song("1 first.mp3", {}, { "One", "Bob", "L1", "1991", "C1" });
    Song("2 readonly.mp3", {}, { "Two", "Bob" });
    Song("3 gone.mp3");
    ASSERT_EQ(::chmod(dir.PathOf("2 readonly.mp3").c_str(), 0444), 0);
    Open({ "1 first.mp3", "2 readonly.mp3", "3 gone.mp3" });
    SetTemplate("/at - /tt.mp3");
    alerts.Clear();
    // This thread runs the window: without the override, mode 0444 refuses root's writes too.
    ASSERT_TRUE(dac_override(false));
    Send(CMD_NEXT);
    EXPECT_TRUE(alerts.alerts.empty());
    Send(CMD_RENAME);
    ASSERT_TRUE(dac_override(true));
    EXPECT_EQ(
        dir.Names(), (std::vector<std::string> { "1 first.mp3", "3 gone.mp3", "Bob - Two.mp3" }));

    // Even root cannot read a folder as a file.
    ASSERT_EQ(::unlink(dir.PathOf("3 gone.mp3").c_str()), 0);
    ASSERT_EQ(::mkdir(dir.PathOf("3 gone.mp3").c_str(), 0755), 0);
    dir.SetAttr("3 gone.mp3", "Artist", "Folder");
    Send(CMD_NEXT);
    EXPECT_EQ(Name(), "3 gone.mp3");
    EXPECT_EQ(Pos(), "3/3");
    ASSERT_EQ(alerts.alerts.size(), 1u);
    EXPECT_EQ(alerts.alerts[0].text, kTagAlert);
    EXPECT_EQ(alerts.alerts[0].buttons, std::vector<std::string> { "Oki" });
    EXPECT_TRUE(alerts.alerts[0].waits);
    EXPECT_EQ(alerts.beeps, 1);
    EXPECT_EQ(win->title_tag, "Two"); // the previous file's tag texts stay
    EXPECT_EQ(win->artist_attr, "Folder"); // the attributes are read all the same
}

TEST_F(Loading, WrongTypeForTheTagRecordShowsTheTagAlert)
{
    // The intake takes the last byte read as the terminator; the tag record compares exactly.
    Song("plain.mp3");
    Open({ "plain.mp3" });
    dir.SetAttr("plain.mp3", "BEOS:TYPE", "audio/mpeg");
    alerts.Clear();
    Send(CMD_NEXT);
    ASSERT_EQ(alerts.Texts(), std::vector<std::string> { kTagAlert });
    EXPECT_EQ(alerts.beeps, 2); // the wrap and the alert's own
}

TEST_F(Loading, PositionTextCountsTheWholeList)
{
    std::vector<std::string> names;
    for (int i = 0; i < 12; i++) {
        names.push_back(std::string("s").append(std::to_string(i)).append(".mp3"));
        Song(names.back());
    }
    Open(names);
    EXPECT_EQ(Pos(), "1/12");
    Send(CMD_NEXT);
    Send(CMD_NEXT);
    EXPECT_EQ(Pos(), "3/12");
    EXPECT_EQ(Name(), "s2.mp3");
}
