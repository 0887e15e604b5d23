// tests/mp3tag_test.cpp: the ID3v1 tag record: field trimming, the tidied image, file positions,
// write-back, and the statuses of files it cannot read.
#include "tag/Mp3Tag.h"

#include "platform/storage/Entry.h"
#include "platform/storage/File.h"
#include "scripts/mp3gen.h"
#include "tests/support/Child.h"
#include "tests/support/Immutable.h"
#include "tests/support/Scratch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace
{

const char kGenre = 17;

// "TAG", 124 spaces and a genre byte: every text field empty.
std::string spaced_image()
{
    std::string image(128, ' ');
    image.replace(0, 3, "TAG");
    image[127] = kGenre;
    return image;
}

std::string raw_of(const Mp3Tag& tag)
{
    return std::string(tag.raw, sizeof(tag.raw));
}

std::string blank_image()
{
    std::string image(128, ' ');
    image.replace(0, 3, "TAG");
    image[127] = '\0';
    return image;
}

// An MPEG file typed audio/x-mpeg through its attribute, ending in tail.
entry_ref typed_file(ScratchDir& dir, const std::string& name, const std::string& bytes)
{
    entry_ref ref = dir.MakeFile(name, bytes);
    dir.SetAttr(name, "BEOS:TYPE", "audio/x-mpeg");
    return ref;
}

off_t size_of(const ScratchDir& dir, const std::string& name)
{
    return static_cast<off_t>(dir.Read(name).size());
}

} // namespace

TEST(Mp3Tag, TrimsEachFieldAndTidiesTheImage)
{
    struct Field {
        const char* name;
        size_t offset, length;
    };
    const Field kTitle { "title", 3, 30 };
    const Field kYear { "year", 93, 4 };
    const Field kComment { "comment", 97, 30 };
    auto text_of = [](const Mp3Tag& tag, size_t offset) -> std::string {
        switch (offset) {
        case 3:
            return tag.title;
        case 33:
            return tag.artist;
        case 63:
            return tag.album;
        case 93:
            return tag.year;
        default:
            return tag.comment;
        }
    };
    const std::string nul(1, '\0');
    struct Case {
        const char* what;
        Field field;
        std::string bytes; // the field as stored
        std::string text; // the text the record gives
        std::string tidied; // the field in raw after the field step
        unsigned char track = 0; // the ID3v1.1 track number
    } cases[] = {
        { "NUL bytes after the text", kTitle, "Abcde" + std::string(25, '\0'), "Abcde",
            "Abcde" + nul + std::string(24, ' ') },
        { "trailing spaces", kTitle, "Abcde" + std::string(25, ' '), "Abcde",
            "Abcde" + std::string(25, ' ') },
        { "spaces kept before a NUL", kTitle, "Abcde  " + std::string(23, '\0'), "Abcde  ",
            "Abcde  " + nul + std::string(22, ' ') },
        { "leading spaces", kTitle, "  ab" + std::string(26, ' '), "  ab",
            "  ab" + std::string(26, ' ') },
        { "30 bytes without a space", kTitle, "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123",
            "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123", "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123" },
        { "all spaces", kTitle, std::string(30, ' '), "", std::string(30, ' ') },
        { "first byte NUL", kTitle, nul + "Abc" + std::string(26, '\0'), "",
            nul + std::string(29, ' ') },
        { "only 0x20 is a space", kTitle, "ab\t" + std::string(27, ' '), "ab\t",
            "ab\t" + std::string(27, ' ') },
        { "bytes above 0x7F", kTitle, "\xE9t\xE9\xFF" + std::string(26, '\0'), "\xE9t\xE9\xFF",
            "\xE9t\xE9\xFF" + nul + std::string(25, ' ') },
        { "year of four digits", kYear, "1999", "1999", "1999" },
        { "year of two digits and two spaces", kYear, "99  ", "99", "99  " },
        { "year of NUL bytes", kYear, std::string(4, '\0'), "", nul + "   " },
        { "comment with a track byte after a NUL at 28", kComment,
            std::string(28, 'c') + nul + "\x07", std::string(28, 'c'),
            std::string(28, 'c') + nul + " ", 7 },
        { "short comment with a track byte", kComment, "Good song" + std::string(20, '\0') + "\x05",
            "Good song", "Good song" + nul + std::string(20, ' '), 5 },
        { "NUL bytes at 28 and 29: no track", kComment, std::string(28, 'c') + nul + nul,
            std::string(28, 'c'), std::string(28, 'c') + nul + " " },
        { "no NUL at 28: byte 29 is text", kComment, std::string(29, 'c') + "\x07",
            std::string(29, 'c') + "\x07", std::string(29, 'c') + "\x07" },
        { "track 255", kComment, std::string(29, '\0') + "\xFF", "", nul + std::string(29, ' '),
            255 },
        { "artist field", Field { "artist", 33, 30 }, "Artist" + std::string(24, '\0'), "Artist",
            "Artist" + nul + std::string(23, ' ') },
        { "album field", Field { "album", 63, 30 }, "Album   " + std::string(22, ' '), "Album",
            "Album" + std::string(25, ' ') },
    };

    ScratchDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(c.bytes.size(), c.field.length);
        std::string image = spaced_image();
        image.replace(c.field.offset, c.field.length, c.bytes);
        entry_ref ref = typed_file(dir, "song.mp3", mp3gen::silent_frames(2) + image);

        Mp3Tag tag(&ref);
        ASSERT_EQ(tag.InitCheck(), B_OK);
        std::string expected = spaced_image();
        expected.replace(c.field.offset, c.field.length, c.tidied);
        EXPECT_EQ(raw_of(tag), expected);
        // The field's text; the other four fields of the spaced image give empty texts.
        for (size_t offset : { 3, 33, 63, 93, 97 })
            EXPECT_EQ(text_of(tag, offset), offset == c.field.offset ? c.text : "") << offset;
        EXPECT_EQ(tag.track, c.track);
    }
}

TEST(Mp3Tag, FilesWithoutATagGetABlankImageAtTheEnd)
{
    const std::string frames = mp3gen::silent_frames(2);
    std::string lowerCase = spaced_image();
    lowerCase.replace(0, 3, "tag");
    lowerCase.replace(3, 5, "Title");
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        { "frames only", frames },
        { "image marked \"tag\"", frames + lowerCase },
        { "empty file", "" },
        { "100 bytes beginning with TAG", "TAG" + std::string(97, 'x') },
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        entry_ref ref = typed_file(dir, "song.mp3", c.bytes);
        Mp3Tag tag(&ref);
        ASSERT_EQ(tag.status, B_OK);
        EXPECT_EQ(raw_of(tag), blank_image());
        for (const char* text : { tag.title, tag.artist, tag.album, tag.year, tag.comment })
            EXPECT_STREQ(text, "");
        EXPECT_EQ(tag.file->Position(), static_cast<off_t>(c.bytes.size()));
        EXPECT_EQ(dir.Read("song.mp3"), c.bytes);
    }
}

TEST(Mp3Tag, WritesTheImageBackWhereItWasRead)
{
    ScratchDir dir;
    const std::string frames = mp3gen::silent_frames(2);

    // No tag: the first write appends, the second overwrites the same 128 bytes.
    {
        entry_ref ref = typed_file(dir, "plain.mp3", frames);
        Mp3Tag tag(&ref);
        ASSERT_EQ(tag.status, B_OK);
        (void)tag.WriteToDisk(); // the bytes on disk are checked below
        EXPECT_EQ(dir.Read("plain.mp3"), frames + blank_image());
        EXPECT_EQ(tag.file->Position(), size_of(dir, "plain.mp3") - 128);
        std::memcpy(tag.raw + 3, "Second", 6);
        (void)tag.WriteToDisk(); // the bytes on disk are checked below
        EXPECT_EQ(dir.Read("plain.mp3"), frames + raw_of(tag));
        EXPECT_EQ(size_of(dir, "plain.mp3"), static_cast<off_t>(frames.size() + 128));
    }
    // A tag: the record starts at it and rewrites it in place.
    {
        std::string image = mp3gen::id3v1({ "Title", "Artist", "Album", "2001", "Note", 3 });
        entry_ref ref = typed_file(dir, "tagged.mp3", frames + image);
        Mp3Tag tag(&ref);
        ASSERT_EQ(tag.status, B_OK);
        EXPECT_EQ(tag.file->Position(), static_cast<off_t>(frames.size()));
        EXPECT_STREQ(tag.title, "Title");
        EXPECT_STREQ(tag.year, "2001");
        std::memcpy(tag.raw + 33, "Other", 5);
        (void)tag.WriteToDisk(); // the bytes on disk are checked below
        (void)tag.WriteToDisk(); // the bytes on disk are checked below
        EXPECT_EQ(dir.Read("tagged.mp3"), frames + raw_of(tag));
        EXPECT_EQ(tag.file->Position(), static_cast<off_t>(frames.size()));
    }
    // Exactly one tag and nothing else.
    {
        entry_ref ref = typed_file(dir, "bare.mp3", spaced_image());
        Mp3Tag tag(&ref);
        ASSERT_EQ(tag.status, B_OK);
        EXPECT_EQ(tag.file->Position(), 0);
    }
}

TEST(Mp3Tag, RefusesFilesNotTypedAsMpegAudio)
{
    const std::string bytes = mp3gen::silent_frames(2) + mp3gen::id3v1({ "T", "A", "L", "", "" });
    const std::string nul(1, '\0');
    const struct {
        const char* what;
        std::string type; // stored as given
    } cases[] = {
        { "another type", "audio/x-wav" },
        { "audio/x-mpeg and more", "audio/x-mpegurl" },
        { "audio/x-mpeg, NUL, more", "audio/x-mpeg" + nul + "x" },
        { "upper case", "AUDIO/X-MPEG" },
        { "cut short", "audio/x-mpe" },
        { "empty", "" },
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        entry_ref ref = dir.MakeFile("song.mp3", bytes);
        ASSERT_EQ(::setxattr(dir.PathOf("song.mp3").c_str(), "user.BEOS:TYPE", c.type.data(),
                      c.type.size(), 0),
            0);
        Mp3Tag tag(&ref);
        bool nulAfterType = c.type.size() > 12 && c.type[12] == '\0';
        // Only the first 13 bytes count: "audio/x-mpeg" and its NUL.
        EXPECT_EQ(tag.status, nulAfterType ? B_OK : status_t(MP3TAG_NOT_MPEG));
        if (tag.status == MP3TAG_NOT_MPEG) {
            EXPECT_EQ(tag.file->Position(), 0) << "the tag must not be read";
        }
    }

    // Without a stored type, the MIME database decides: MPEG by name and content, text not.
    entry_ref mp3 = dir.MakeFile("untyped.mp3", bytes);
    EXPECT_EQ(Mp3Tag(&mp3).status, B_OK);
    entry_ref text = dir.MakeFile("notes.txt", "just some words\n");
    EXPECT_EQ(Mp3Tag(&text).status, MP3TAG_NOT_MPEG);
}

TEST(Mp3Tag, ReadsFilesItMayNotWriteAndWritesNothingToThem)
{
    ScratchDir dir(ScratchFor::OtherUsers); // a child reaches it as nobody
    const std::string bytes = mp3gen::silent_frames(1) + mp3gen::id3v1({ "Title", "", "", "", "" });
    // Owned by root: nobody may read it with mode 0644, and not even read it with 0600; an
    // immutable file refuses writing even to root.
    const struct {
        mode_t mode;
        bool immutable;
        ChildUser user;
        status_t status, written; // the record's status, and WriteToDisk's
    } cases[] = {
        { 0644, false, ChildUser::Nobody, B_OK, B_PERMISSION_DENIED },
        { 0644, true, ChildUser::Same, B_OK, B_NOT_ALLOWED },
        { 0600, false, ChildUser::Nobody, B_PERMISSION_DENIED, B_NO_INIT },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written);
        entry_ref ref = typed_file(dir, "song.mp3", bytes);
        ASSERT_EQ(::chmod(dir.PathOf("song.mp3").c_str(), c.mode), 0);
        std::optional<ImmutableGuard> guard;
        if (c.immutable)
            guard.emplace(dir.PathOf("song.mp3"));
        std::optional<status_t> status = run_in_child(c.user, [&] {
            Mp3Tag tag(&ref);
            bool read = tag.status != B_OK || std::strcmp(tag.title, "Title") == 0;
            return read && tag.WriteToDisk() == c.written ? tag.status : B_ERROR;
        });
        EXPECT_EQ(status, c.status);
        guard.reset();
        EXPECT_EQ(dir.Read("song.mp3"), bytes);
    }

    entry_ref gone = dir.Ref("missing.mp3");
    EXPECT_EQ(Mp3Tag(&gone).status, B_ENTRY_NOT_FOUND);
    EXPECT_EQ(Mp3Tag(nullptr).status, B_BAD_VALUE);
}
