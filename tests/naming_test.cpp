// tests/naming_test.cpp: the name template and its alerts.
#include "tests/support/WindowHarness.h"

class Naming : public WindowHarness
{
protected:
    void SetUp() override
    {
        Song("song.mp3",
            { { "Artist", "A" }, { "Title", "B" }, { "Album", "C" }, { "Year", "1970" } },
            { "tt", "at", "lt", "1980", "ct" });
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
    EXPECT_TRUE(Expand("/tt|/ta|/at|/aa|/lt|/la|/yt|/ya|/ct|/ca|/gt.").empty());
    EXPECT_EQ(Preview(), "tt|B|at|A|lt|C|1980|1970|ct||.");
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

TEST_F(Naming, ValuesAreInsertedUnchanged)
{
    dir.SetAttr("song.mp3", "Artist", "AC/DC /aa \xC3\xA9");
    Send(CMD_NEXT); // reload
    EXPECT_TRUE(Expand("/aa").empty());
    EXPECT_EQ(Preview(), "AC/DC /aa \xC3\xA9");
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
