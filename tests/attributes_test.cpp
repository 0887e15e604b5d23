// tests/attributes_test.cpp: song attributes: stored xattrs with the string rule, and the
// ID3v2 fallback for files that store none.
#include "platform/storage/Node.h"

#include "platform/storage/Entry.h"
#include "platform/storage/File.h"
#include "scripts/mp3gen.h"
#include "tests/support/Scratch.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/xattr.h>
#include <unistd.h>

namespace
{

// The attribute as the window reads it: the bytes of one 256-byte read, or the status.
std::string read_attr(const BNode& node, const char* name, size_t length = 256)
{
    std::string buffer(length, '\x7F');
    ssize_t count = node.ReadAttr(name, B_STRING_TYPE, 0, buffer.data(), buffer.size());
    if (count < 0)
        return "status " + std::to_string(count);
    return buffer.substr(0, static_cast<size_t>(count));
}

std::string with_nul(const std::string& text)
{
    return text + std::string(1, '\0');
}

void store(
    const ScratchDir& dir, const std::string& file, const char* name, const std::string& bytes)
{
    ASSERT_EQ(::setxattr(dir.PathOf(file).c_str(), name, bytes.data(), bytes.size(), 0), 0);
}

std::string big_endian(uint32_t value)
{
    std::string out(4, '\0');
    for (int i = 3; i >= 0; --i, value >>= 8)
        out[i] = static_cast<char>(value & 0xFF);
    return out;
}

// An ID3v2.3 tag of raw frames: id and body each.
std::string id3v23(const std::vector<std::pair<std::string, std::string>>& frames)
{
    std::string body;
    for (const auto& [id, content] : frames)
        body += id + big_endian(static_cast<uint32_t>(content.size())) + std::string(2, '\0')
            + content;
    std::string size(4, '\0');
    for (int i = 3, value = static_cast<int>(body.size()); i >= 0; --i, value >>= 7)
        size[i] = static_cast<char>(value & 0x7F);
    return std::string("ID3\x03\0\0", 6) + size + body;
}

const char* const kSongAttributes[] = { "Title", "Artist", "Album", "Year", "Comment" };

} // namespace

TEST(Attributes, StringAttributesReadWithExactlyOneNul)
{
    const std::string nul(1, '\0');
    const std::string long_value(300, 'v');
    const struct {
        const char* what;
        std::string stored;
        off_t size; // GetAttrInfo
        std::string read; // one 256-byte read
    } cases[] = {
        { "text without NUL", "Hello", 6, "Hello" + nul },
        { "text with its NUL", "Hello" + nul, 6, "Hello" + nul },
        { "empty: exists, reads 0 bytes", "", 0, "" },
        { "NUL inside", "a" + nul + "b", 4, "a" + nul + "b" + nul },
        { "300 bytes", long_value, 301, long_value.substr(0, 256) },
        { "bytes above 0x7F", "\xC3\xA9t\xE9", 5, "\xC3\xA9t\xE9" + nul },
    };
    ScratchDir dir;
    dir.MakeFile("song", "");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        store(dir, "song", "user.Title", c.stored);
        BNode node(dir.PathOf("song").c_str());
        attr_info info {};
        ASSERT_EQ(node.GetAttrInfo("Title", &info), B_OK);
        EXPECT_EQ(info.size, c.size);
        EXPECT_EQ(info.type, B_STRING_TYPE);
        EXPECT_EQ(read_attr(node, "Title"), c.read);
    }

    // A read is cut to the buffer; an offset starts inside the value.
    BNode node(dir.PathOf("song").c_str());
    store(dir, "song", "user.Artist", "Hello");
    EXPECT_EQ(read_attr(node, "Artist", 3), "Hel");
    char tail[16];
    ASSERT_EQ(node.ReadAttr("Artist", B_STRING_TYPE, 3, tail, sizeof(tail)), 3);
    EXPECT_EQ(std::string(tail, 3), "lo" + nul);
    EXPECT_EQ(node.ReadAttr("Artist", B_STRING_TYPE, 6, tail, sizeof(tail)), 0);
}

TEST(Attributes, WriteStoresTheBytesAndRemoveTakesThemAway)
{
    ScratchDir dir;
    dir.MakeFile("song", "");
    BNode node(dir.PathOf("song").c_str());
    attr_info info;
    EXPECT_EQ(node.GetAttrInfo("Title", &info), B_ENTRY_NOT_FOUND);
    ASSERT_EQ(node.WriteAttr("Title", B_STRING_TYPE, 0, "Long title", 10), 10);
    ASSERT_EQ(node.WriteAttr("Title", B_STRING_TYPE, 0, "abc", 3), 3); // replaces
    ASSERT_EQ(node.WriteAttr("Title", B_STRING_TYPE, 5, "xy", 2), 2); // writes into
    char stored[32];
    ssize_t size = ::getxattr(dir.PathOf("song").c_str(), "user.Title", stored, sizeof(stored));
    EXPECT_EQ(std::string(stored, size > 0 ? size : 0), std::string("abc\0\0xy", 7));
    // The node reads what its own writes stored, though it had found no such attribute before.
    EXPECT_EQ(read_attr(node, "Title"), std::string("abc\0\0xy\0", 8));

    EXPECT_EQ(node.RemoveAttr("Title"), B_OK);
    EXPECT_EQ(node.RemoveAttr("Title"), B_ENTRY_NOT_FOUND);
}

TEST(Attributes, MissingAttributesAndNodesReportTheirStatus)
{
    ScratchDir dir;
    dir.MakeMp3("song.mp3", mp3gen::id3v1({ "Title", "Artist", "", "", "" }));
    BNode node(dir.PathOf("song.mp3").c_str());
    ASSERT_EQ(node.InitCheck(), B_OK);
    attr_info info;
    char buffer[256];
    // The ID3v1 tag is not a source of attributes; only ID3v2 is.
    for (const char* name : { "Title", "Artist", "Genre", "title" }) {
        SCOPED_TRACE(name);
        EXPECT_EQ(node.GetAttrInfo(name, &info), B_ENTRY_NOT_FOUND);
        EXPECT_EQ(node.ReadAttr(name, B_STRING_TYPE, 0, buffer, sizeof(buffer)), B_ENTRY_NOT_FOUND);
    }
    EXPECT_EQ(node.GetAttrInfo(nullptr, &info), B_BAD_VALUE);

    BNode missing(dir.PathOf("gone.mp3").c_str());
    EXPECT_EQ(missing.InitCheck(), B_ENTRY_NOT_FOUND);
    EXPECT_EQ(missing.GetAttrInfo("Title", &info), B_NO_INIT);
    EXPECT_EQ(missing.ReadAttr("Title", B_STRING_TYPE, 0, buffer, sizeof(buffer)), B_NO_INIT);
    EXPECT_EQ(BNode(static_cast<const entry_ref*>(nullptr)).InitCheck(), B_BAD_VALUE);
}

TEST(Attributes, NodesFollowLinksAndFilesUseTheirDescriptor)
{
    ScratchDir dir;
    dir.MakeFile("target", "");
    dir.SetAttr("target", "Title", "Linked");
    ASSERT_EQ(::symlink("target", dir.PathOf("link").c_str()), 0);
    entry_ref link = dir.Ref("link");
    EXPECT_EQ(read_attr(BNode(&link), "Title"), with_nul("Linked"));

    // An open file keeps its attributes when its name goes away.
    entry_ref target = dir.Ref("target");
    BFile file(&target, B_READ_ONLY);
    ASSERT_EQ(file.InitCheck(), B_OK);
    ASSERT_EQ(::rename(dir.PathOf("target").c_str(), dir.PathOf("moved").c_str()), 0);
    EXPECT_EQ(read_attr(file, "Title"), with_nul("Linked"));
}

TEST(Attributes, SongAttributesFallBackToTheId3v2Tag)
{
    using mp3gen::Frame;
    const struct {
        const char* what;
        int version;
        Frame::Encoding encoding;
        const char* yearFrame;
        const char* yearText;
    } cases[] = {
        { "v2.3 Latin-1", 3, Frame::Latin1, "TYER", "1987" },
        { "v2.3 UTF-16", 3, Frame::Utf16, "TYER", "1987" },
        { "v2.4 Latin-1", 4, Frame::Latin1, "TDRC", "1987-05-02" },
        { "v2.4 UTF-16", 4, Frame::Utf16, "TDRC", "1987" },
        { "v2.4 UTF-8", 4, Frame::Utf8, "TDRC", "1987-05-02T10:00" },
    };
    // Each text holds a letter outside ASCII that Latin-1 can carry.
    const std::string title = "Caf\xC3\xA9 Title", artist = "M\xC3\xBCller", album = "\xC3\x85lbum",
                      comment = "Nice \xC2\xBD";
    ScratchDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string tag = mp3gen::id3v2(c.version,
            { { "TIT2", title, c.encoding }, { "TPE1", artist, c.encoding },
                { "TALB", album, c.encoding }, { c.yearFrame, c.yearText, c.encoding },
                { "COMM", comment, c.encoding }, { "TRCK", "7/12", c.encoding } });
        dir.MakeMp3("song.mp3", "", tag);
        BNode node(dir.PathOf("song.mp3").c_str());
        attr_info info {};
        ASSERT_EQ(node.GetAttrInfo("Title", &info), B_OK);
        EXPECT_EQ(info.size, static_cast<off_t>(title.size() + 1));
        EXPECT_EQ(read_attr(node, "Title"), with_nul(title));
        EXPECT_EQ(read_attr(node, "Artist"), with_nul(artist));
        EXPECT_EQ(read_attr(node, "Album"), with_nul(album));
        EXPECT_EQ(read_attr(node, "Year"), with_nul("1987"));
        EXPECT_EQ(read_attr(node, "Comment"), with_nul(comment));
        EXPECT_EQ(read_attr(node, "Track"), with_nul("7/12"));
    }
}

TEST(Attributes, StoredAttributesWinAndOnlyTheFramesNamedCount)
{
    ScratchDir dir;
    const std::string latin1 = std::string(1, '\0');
    // A described comment (as players write) comes first; only the undescribed one counts.
    std::string tag = id3v23({ { "TIT2", latin1 + "Frame title" },
        { "COMM", latin1 + "eng" + "iTunNORM" + latin1 + "00000 1111" },
        { "COMM", latin1 + "eng" + latin1 + "Real comment" }, { "TPE2", latin1 + "Band" } });
    dir.MakeMp3("song.mp3", "", tag);
    dir.SetAttr("song.mp3", "Title", "Stored title");
    dir.MakeMp3("bare.mp3", "", tag);
    attr_info info;
    // Whether the node reads before it lists the names changes no result.
    for (bool expect : { false, true }) {
        BFile node(dir.PathOf("song.mp3").c_str(), B_READ_ONLY);
        node.ExpectAttributes(expect);
        EXPECT_EQ(read_attr(node, "Comment"), with_nul("Real comment"));
        EXPECT_EQ(read_attr(node, "Title"), with_nul("Stored title"));
        EXPECT_EQ(node.GetAttrInfo("Artist", &info), B_ENTRY_NOT_FOUND) << "TPE2 is not TPE1";
        EXPECT_EQ(node.GetAttrInfo("Year", &info), B_ENTRY_NOT_FOUND);
        EXPECT_TRUE(node.StoresAttributes());
        BFile bare(dir.PathOf("bare.mp3").c_str(), B_READ_ONLY);
        bare.ExpectAttributes(expect);
        EXPECT_EQ(read_attr(bare, "Title"), with_nul("Frame title"));
        EXPECT_FALSE(bare.StoresAttributes());
    }

    // Described comments: in Latin-1, and in UTF-16BE by a U+FEFF, which is no byte-order mark
    // there.
    const std::string utf16be("\002eng\xFE\xFF\0\0\0A", 10);
    for (const std::string& comment : { latin1 + "eng" + "desc" + latin1 + "text", utf16be }) {
        dir.MakeMp3("described.mp3", "", id3v23({ { "COMM", comment } }));
        EXPECT_EQ(BNode(dir.PathOf("described.mp3").c_str()).GetAttrInfo("Comment", &info),
            B_ENTRY_NOT_FOUND);
    }
}

TEST(Attributes, TheTagIsParsedOncePerNode)
{
    ScratchDir dir;
    dir.MakeMp3("song.mp3", "", mp3gen::id3v2(4, { { "TIT2", "First" }, { "TPE1", "One" } }));
    BNode node(dir.PathOf("song.mp3").c_str());
    EXPECT_EQ(read_attr(node, "Title"), with_nul("First"));
    dir.MakeMp3("song.mp3", "", mp3gen::id3v2(4, { { "TIT2", "Second" }, { "TPE1", "Two" } }));
    EXPECT_EQ(read_attr(node, "Artist"), with_nul("One"));
    EXPECT_EQ(read_attr(BNode(dir.PathOf("song.mp3").c_str()), "Artist"), with_nul("Two"));
}

TEST(Attributes, OversizedOrForeignTagsGiveNoAttributes)
{
    ScratchDir dir;
    attr_info info;
    // A header claiming 16 MiB + 1 is refused, even though valid frames follow it.
    std::string tag = mp3gen::id3v2(4, { { "TIT2", "Hidden" } });
    const uint32_t claimed = 16u * 1024 * 1024 + 1;
    for (int i = 9; i >= 6; --i)
        tag[i] = static_cast<char>((claimed >> (7 * (9 - i))) & 0x7F);
    dir.MakeFile("huge.mp3", tag);
    ASSERT_EQ(::truncate(dir.PathOf("huge.mp3").c_str(), claimed + 10), 0);
    EXPECT_EQ(BNode(dir.PathOf("huge.mp3").c_str()).GetAttrInfo("Title", &info), B_ENTRY_NOT_FOUND);

    // The same tag at its true size is read: the refusal is about the claim.
    dir.MakeFile("fits.mp3", mp3gen::id3v2(4, { { "TIT2", "Hidden" } }));
    EXPECT_EQ(BNode(dir.PathOf("fits.mp3").c_str()).GetAttrInfo("Title", &info), B_OK);

    const std::string foreign[] = {
        "plain words, not audio\n",
        "ID3", // a header cut short
        std::string("ID3\x04\0\0\x80\0\0\0", 10) + "TIT2", // size byte with its top bit set
        std::string("ID3\x09\0\0\0\0\0\x10", 10) + std::string(16, 'x'), // unknown version
        std::string(10000, '\xFF'),
    };
    for (const std::string& bytes : foreign) {
        SCOPED_TRACE(bytes.substr(0, 12));
        dir.MakeFile("other.mp3", bytes);
        BNode node(dir.PathOf("other.mp3").c_str());
        for (const char* name : kSongAttributes)
            EXPECT_EQ(node.GetAttrInfo(name, &info), B_ENTRY_NOT_FOUND) << name;
    }
}

TEST(Attributes, OnlyIntactSongFramesOfHostileOrDamagedTagsReachTheDecoder)
{
    using mp3gen::Frame;
    using mp3gen::RawFrame;
    const std::string nul(1, '\0');
    auto text = [](const char* id, const std::string& value, uint16_t flags = 0) {
        return RawFrame { id, mp3gen::frame_body({ id, value }), flags };
    };
    // The song frames every row ends with, in ID3v2.3/2.4 and ID3v2.2 form.
    auto song = [&](std::vector<RawFrame> before, const char* year = "TYER") {
        for (const char* id : { "TIT2", "TPE1", "TALB" })
            before.push_back(text(id, std::string("The ") + id));
        before.push_back(text(year, "1999"));
        before.push_back(text("COMM", "Said"));
        return before;
    };
    const std::vector<std::string> all = { "The TIT2", "The TPE1", "The TALB", "1999", "Said" };
    std::vector<std::string> untitled = all;
    untitled[0] = "";
    const std::string big(16u << 20, 'A');
    const std::string bomb = mp3gen::syncsafe(big.size() + 1) + mp3gen::deflated(nul + big);
    std::vector<RawFrame> compressed = song({ { "TIT2", bomb, 0x0009 } }, "TDRC");
    compressed.erase(compressed.begin() + 1); // the one title is the compressed one
    const std::string apic = nul + "image/png" + nul + "\x03" + nul + std::string(5'000'000, 'P');
    const std::string ext23 = std::string("\0\0\0\x06", 4) + std::string(6, '\0');
    const std::string ext24 = mp3gen::syncsafe(6) + "\x01" + nul;
    std::string past = mp3gen::id3v2_raw(
        3, { text("TIT2", "The TIT2"), { "TPE1", "xxxx" }, text("TALB", "The TALB") });
    past[10 + 19 + 6] = '\x01'; // TPE1 claims 256 bytes
    const struct {
        const char* what;
        std::string tag;
        std::vector<std::string> expected; // Title, Artist, Album, Year, Comment; "" is absent
    } cases[] = {
        { "zero-size TENC", mp3gen::id3v2_raw(3, song({ { "TENC", "" } })), all },
        { "one-byte TENC with a data length",
            mp3gen::id3v2_raw(4, song({ { "TENC", nul, 0x0001 } }, "TDRC")), all },
        { "empty TIT2", mp3gen::id3v2_raw(3, song({ { "TIT2", "" } })), all },
        { "compressed APIC holding only its data length",
            mp3gen::id3v2_raw(4, song({ { "APIC", mp3gen::syncsafe(2048), 0x0009 } }, "TDRC")),
            all },
        { "v2.4 zero-size TENC", mp3gen::id3v2_raw(4, song({ { "TENC", "" } }, "TDRC")), all },
        { "v2.4 TYER without TDRC", mp3gen::id3v2_raw(4, song({})), all },
        { "v2.4 values: the first",
            mp3gen::id3v2_raw(4, song({ text("TPE1", "The TPE1" + nul + "Other") }, "TDRC")), all },
        { "v2.2",
            mp3gen::id3v2_raw(2,
                { text("TT2", "The TIT2"), text("TP1", "The TPE1"), text("TAL", "The TALB"),
                    text("TYE", "1999"), text("COM", "Said") }),
            all },
        { "v2.3 unsynchronised",
            mp3gen::id3v2_raw(3, song({ text("TIT2", "\xC3\xBF\xC3\xBF") }), 0x80),
            { "\xC3\xBF\xC3\xBF", "The TPE1", "The TALB", "1999", "Said" } },
        { "v2.3 extended header", mp3gen::id3v2_raw(3, song({}), 0x40, ext23), all },
        { "v2.4 extended header", mp3gen::id3v2_raw(4, song({}, "TDRC"), 0x40, ext24), all },
        { "v2.3 extended header flagged, absent", mp3gen::id3v2_raw(3, song({}), 0x40), all },
        { "v2.4 extended header flagged, absent", mp3gen::id3v2_raw(4, song({}, "TDRC"), 0x40),
            all },
        { "v2.4 frame unsynchronised, with its data length",
            mp3gen::id3v2_raw(
                4, song({ { "TIT2", mp3gen::syncsafe(3) + nul + "\xFF\xE0", 0x0003 } }, "TDRC")),
            { "\xC3\xBF\xC3\xA0", "The TPE1", "The TALB", "1999", "Said" } },
        { "v2.4 plain frame sizes",
            mp3gen::id3v2_raw(4, song({ { "PRIV", std::string(200, 'p') } }, "TDRC"), 0, "", true),
            all },
        { "compressed TIT2 inflating to 16 MiB", mp3gen::id3v2_raw(4, compressed), untitled },
        { "CHAP nested 20,000 deep",
            mp3gen::id3v2_raw(4, song({ mp3gen::nested_chapters(4, 20'000) }, "TDRC")), all },
        { "5 MB APIC first", mp3gen::id3v2_raw(3, song({ { "APIC", apic } })), all },
        { "a size past the tag ends the walk", past, { "The TIT2", "", "", "", "" } },
    };
    const std::string absent = "status " + std::to_string(B_ENTRY_NOT_FOUND);
    ScratchDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        dir.MakeMp3("song.mp3", "", c.tag);
        BNode node(dir.PathOf("song.mp3").c_str());
        for (size_t i = 0; i < c.expected.size(); ++i) {
            if (c.expected[i].empty())
                EXPECT_EQ(read_attr(node, kSongAttributes[i]), absent) << kSongAttributes[i];
            else
                EXPECT_EQ(read_attr(node, kSongAttributes[i]), with_nul(c.expected[i]));
        }
    }
}
