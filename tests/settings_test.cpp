// tests/settings_test.cpp: the window's position and template kept between runs.
#include "tests/support/WindowHarness.h"

#include "platform/Message.h"
#include "scripts/mp3gen.h"

#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

class Settings : public WindowHarness
{
protected:
    void SetUp() override
    {
        Song("a.mp3", { { "Artist", "A" }, { "Title", "B" }, { "Album", "C" } });
        Song("b.mp3", { { "Artist", "A2" }, { "Title", "B2" }, { "Album", "C2" } });
    }
    std::string File() const { return config.PathOf("Kelterhof-Orvalin"); }
    void Store(const BMessage& message)
    {
        std::string bytes;
        ASSERT_EQ(message.Flatten(&bytes), B_OK);
        ASSERT_TRUE(mp3gen::write_file(File(), bytes));
    }
    BMessage Stored()
    {
        BMessage message;
        std::string bytes = config.Read("Kelterhof-Orvalin");
        EXPECT_EQ(message.Unflatten(bytes.data(), bytes.size()), B_OK);
        return message;
    }
    BPoint LeftTop() const { return win->Frame().LeftTop(); }
    std::string Template() const { return win->constructor_control->Text(); }
};

TEST_F(Settings, WithoutAFileTheWindowOpensAtItsCreationPlace)
{
    Open({ "a.mp3" });
    EXPECT_EQ(LeftTop(), BPoint(100, 100));
    EXPECT_EQ(Template(), "/aa - /ta - /la.mp3");
    EXPECT_FALSE(config.Exists("Kelterhof-Orvalin"));
}

TEST_F(Settings, PositionAndTemplateComeBackAndTakeEffectAtTheNextStep)
{
    Open({ "a.mp3", "b.mp3" });
    win->MoveTo(BPoint(321, 234));
    SetTemplate("/ta (/aa)");
    Close();

    BMessage stored = Stored();
    EXPECT_EQ(stored.what, 0u);
    BPoint where;
    ASSERT_EQ(stored.FindPoint("winloc", &where), B_OK);
    EXPECT_EQ(where, BPoint(321, 234));
    BString text;
    ASSERT_EQ(stored.FindString("constructor", &text), B_OK);
    EXPECT_EQ(text, "/ta (/aa)");

    Open({ "a.mp3", "b.mp3" });
    EXPECT_EQ(LeftTop(), BPoint(321, 234));
    EXPECT_EQ(Template(), "/ta (/aa)");
    EXPECT_EQ(Preview(), "A - B - C.mp3"); // built before the stored template was restored
    Send(CMD_NEXT);
    EXPECT_EQ(Preview(), "B2 (A2)");
}

TEST_F(Settings, EmptyTemplateIsRestoredAsEmpty)
{
    BMessage message(0);
    message.AddString("constructor", "");
    Store(message);
    Open({ "a.mp3" });
    EXPECT_EQ(Template(), "");
    EXPECT_EQ(LeftTop(), BPoint(100, 100));
}

TEST_F(Settings, EachFieldAppliesOnItsOwn)
{
    BMessage onlyPlace(0);
    onlyPlace.AddPoint("winloc", BPoint(-500, 4000)); // off screen: applied unchanged
    Store(onlyPlace);
    Open({ "a.mp3" });
    EXPECT_EQ(LeftTop(), BPoint(-500, 4000));
    EXPECT_EQ(Template(), "/aa - /ta - /la.mp3");
    Close();

    BMessage onlyTemplate(0);
    onlyTemplate.AddString("constructor", "/yt");
    Store(onlyTemplate);
    Open({ "a.mp3" });
    EXPECT_EQ(LeftTop(), BPoint(100, 100));
    EXPECT_EQ(Template(), "/yt");
}

TEST_F(Settings, DamagedFilesStillOpenTheWindow)
{
    BMessage good(0);
    good.AddPoint("winloc", BPoint(200, 300));
    good.AddString("constructor", "/ta");
    std::string bytes;
    ASSERT_EQ(good.Flatten(&bytes), B_OK);
    const std::string damaged[] = {
        "",
        bytes.substr(0, bytes.size() / 2),
        bytes.substr(0, bytes.size() - 1),
        std::string(bytes).replace(0, 4, "JUNK"),
        "[General]\nwinloc=1,2\n",
        std::string(4096, '\xFF'),
    };
    for (const std::string& content : damaged) {
        SCOPED_TRACE(content.size());
        ASSERT_TRUE(mp3gen::write_file(File(), content));
        Open({ "a.mp3" });
        ASSERT_EQ(win->CountFiles(), 1);
        EXPECT_EQ(Name(), "a.mp3");
        Close();
    }
}

TEST_F(Settings, EveryCloseRewritesTheFileAtomically)
{
    Open({ "a.mp3" });
    Close();
    ASSERT_TRUE(config.Exists("Kelterhof-Orvalin"));
    ::unlink(File().c_str());
    Open({ "a.mp3" });
    Close(); // unchanged, still written
    EXPECT_TRUE(config.Exists("Kelterhof-Orvalin"));
    EXPECT_EQ(config.Names(), std::vector<std::string> { "Kelterhof-Orvalin" }); // no leftovers

    // A write that cannot complete leaves the previous file as it was.
    std::string before = config.Read("Kelterhof-Orvalin");
    Open({ "a.mp3" });
    SetTemplate("changed");
    ::chmod(config.Path().c_str(), 0555);
    pid_t child = ::fork();
    if (child == 0) {
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        Close();
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ::chmod(config.Path().c_str(), 0755);
    EXPECT_EQ(config.Read("Kelterhof-Orvalin"), before);
    EXPECT_EQ(config.Names(), std::vector<std::string> { "Kelterhof-Orvalin" });
}

TEST_F(Settings, MissingSettingsDirectoryIsNeitherReadNorWrittenNorCreated)
{
    std::string missing = config.PathOf("not-there");
    ::setenv("XDG_CONFIG_HOME", missing.c_str(), 1);
    ::setenv("HOME", missing.c_str(), 1);
    Open({ "a.mp3" });
    EXPECT_EQ(LeftTop(), BPoint(100, 100));
    Close();
    EXPECT_FALSE(config.Exists("not-there"));
}
