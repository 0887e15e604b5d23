// tests/naming_test.cpp: the name template and its alerts.
#include "tests/support/WindowHarness.h"

class Naming : public WindowHarness
{
protected:
    void SetUp() override
    {
        Song("song.mp3",
            { { "Artist", "A" }, { "Title", "B" }, { "Album", "C" }, { "Year", "1970" },
                { "Track", "3/10" } },
            { "tt", "at", "lt", "1980", "ct" + std::string(27, '\0') + "\x05" });
        Open({ "song.mp3" });
        alerts.Clear();
        output.Take();
    }
    // Expands text; returns the alert texts it raised.
    std::vector<std::string> Expand(const std::string& text)
    {
        alerts.Clear();
        SetTemplate(text);
        win->newName();
        return alerts.Texts();
    }
};

namespace
{
std::string confused(const std::string& what)
{
    return "Master,\nI do not understand your bidding!\nI'm confused by the /" + what
        + "something.\n";
}
} // namespace

TEST_F(Naming, InitialTemplateGivesArtistTitleAlbum)
{
    EXPECT_EQ(Preview(), "A - B - C.mp3");
    EXPECT_EQ(win->new_name, "A - B - C.mp3");
}

TEST_F(Naming, EveryCodeInsertsItsVariable)
{
    EXPECT_TRUE(Expand("/tt|/ta|/at|/aa|/lt|/la|/yt|/ya|/ct|/ca|/nt|/na|/gt.").empty());
    EXPECT_EQ(Preview(), "tt|B|at|A|lt|C|1980|1970|ct||05|03|.");
    EXPECT_TRUE(Expand("").empty());
    EXPECT_EQ(win->new_name, "");
    EXPECT_EQ(Preview(), "");
}

TEST_F(Naming, MalformedTemplatesRaiseTheirAlertAndKeepThePreview)
{
    struct Case {
        const char* text;
        std::string alert;
        bool waits;
        const char* partial;
    } cases[] = {
        { "/AA", confused(""), true, "" },
        { "x/", confused(""), true, "x" },
        { "ab/q", confused(""), true, "ab" },
        { "/ga", confused("g-"), false, "" },
        { "/g", confused("g-"), false, "" },
        { "name x/a", confused("a-"), false, "name x" },
        { "/tx", confused("t-"), false, "" },
        { "/l", confused("l-"), false, "" },
        { "/y/", confused("y-"), false, "" },
        { "/aa/cz", confused("c-"), false, "A" },
        { "/nx", confused("n-"), false, "" },
        { "/n", confused("n-"), false, "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Expand(c.text), std::vector<std::string> { c.alert });
        EXPECT_EQ(alerts.alerts[0].waits, c.waits);
        EXPECT_EQ(alerts.alerts[0].buttons, std::vector<std::string> { "I'll rephrase" });
        EXPECT_EQ(alerts.beeps, 0);
        EXPECT_EQ(win->new_name, c.partial);
        EXPECT_EQ(Preview(), "A - B - C.mp3");
    }
}

// A value's "/" would leave the folder; elsewhere than on Windows's file systems names keep
// their bytes, and a name too long for its file system is cut before its suffix.
TEST_F(Naming, BuiltNamesAreCleanedForTheirFolder)
{
    const std::string e(254, 'x');
    std::string accents;
    for (int i = 0; i < 127; i++)
        accents += "\xC3\xA9";
    const struct {
        std::string title;
        const char* text;
        std::string name;
    } cases[] = {
        { "AC/DC /aa \xC3\xA9", "/ta", "AC_DC _aa \xC3\xA9" },
        { "Who Are You? <a|b> \\:*\"", "/ta.mp3", "Who Are You? <a|b> \\:*\".mp3" },
        { "a\tb. ", "/ta", "a\tb. " },
        { "caf\xE9", "/ta.mp3", "caf\xE9.mp3" },
        { "x", "/ta/gt/ta", "xx" },
        // 254 + 254 + 4 bytes: the text before ".mp3" is cut.
        { e, "/ta/ta.mp3", std::string(251, 'x') + ".mp3" },
        { e, "/ta/ta.flac", std::string(250, 'x') + ".flac" },
        { e, "/ta/ta", std::string(255, 'x') },
        { e, "/ta/ta.mp3.long-suffix", std::string(255, 'x') },
        // Cut at a character boundary: 125 two-byte letters, not 125 and a half.
        { accents, "/ta/ta.mp3", accents.substr(0, 250) + ".mp3" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        dir.SetAttr("song.mp3", "Title", c.title);
        Send(CMD_NEXT); // reload
        EXPECT_TRUE(Expand(c.text).empty());
        EXPECT_EQ(std::string(win->new_name.String()), c.name);
        EXPECT_EQ(Preview(), c.name);
    }
    // The trace shows the cleaned name.
    dir.SetAttr("song.mp3", "Title", "AC/DC");
    Send(CMD_NEXT);
    output.Take();
    Expand("/ta");
    EXPECT_NE(output.Take().find("new_name: AC_DC\n"), std::string::npos);
}

TEST_F(Naming, TracesEachStep)
{
    output.Take();
    Expand("x/aa");
    EXPECT_EQ(output.Take(),
        "new_name()\n"
        "constructor: /aa\n"
        "single_char: x\n"
        "new_name: x\n"
        "constructor: aa\n"
        "single_char: /\n"
        "new_name: xA\n"
        "new_name: xA\n");
}

TEST_F(Naming, EditingTheTemplateWaitsForTheNextLoad)
{
    SetTemplate("/ta");
    EXPECT_EQ(Preview(), "A - B - C.mp3");
    Send(CMD_NEXT);
    EXPECT_EQ(Preview(), "B");
}
