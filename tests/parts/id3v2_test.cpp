// tests/parts/id3v2_test.cpp: our decoder of ID3v2 frame texts, checked against TagLib's. Links
// only the ID3v2 library.
#include "platform/storage/id3v2/Id3v2Text.h"

#include "scripts/mp3gen.h"

#include <gtest/gtest.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/textidentificationframe.h>

#include <string>

namespace
{

// A literal's bytes, NULs included.
template <size_t N> std::string raw(const char (&bytes)[N])
{
    return std::string(bytes, N - 1);
}

// What TagLib makes of one frame in an ID3v2.4 tag: the first value of a text frame, or the
// text of a comment, in UTF-8.
std::string taglib_text(const std::string& id, const std::string& body)
{
    std::string frames = id + mp3gen::syncsafe(body.size()) + std::string(2, '\0') + body;
    std::string tag = std::string("ID3\x04\0\0", 6) + mp3gen::syncsafe(frames.size()) + frames;
    TagLib::ByteVectorStream stream(TagLib::ByteVector(tag.data(), tag.size()));
#if TAGLIB_MAJOR_VERSION >= 2
    TagLib::MPEG::File file(
        &stream, false, TagLib::MPEG::Properties::Average, TagLib::ID3v2::FrameFactory::instance());
#else
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
#endif
    if (!file.hasID3v2Tag() || file.ID3v2Tag()->frameList(id.c_str()).isEmpty())
        return "no frame";
    TagLib::ID3v2::Frame* frame = file.ID3v2Tag()->frameList(id.c_str()).front();
    if (auto* comment = dynamic_cast<TagLib::ID3v2::CommentsFrame*>(frame))
        return comment->text().to8Bit(true);
    auto* text = dynamic_cast<TagLib::ID3v2::TextIdentificationFrame*>(frame);
    if (text == nullptr || text->fieldList().isEmpty())
        return "";
    return text->fieldList().front().to8Bit(true);
}

} // namespace

TEST(Id3v2Text, FrameTextsDecodeAsTagLibDecodesThem)
{
    const std::string latin1(1, '\0'), utf16 = "\x01", utf16be = "\x02", utf8 = "\x03";
    const std::string le = "\xFF\xFE", be = "\xFE\xFF";
    const struct {
        const char* what;
        std::string body; // encoding byte first
    } texts[] = {
        { "Latin-1", latin1 + "Caf\xE9 \x80\xFF" },
        { "Latin-1 values", latin1 + raw("One\0Two") },
        { "Latin-1 empty value first", latin1 + raw("\0\0Two") },
        { "Latin-1 NULs at the end", latin1 + raw("One\0\0") },
        { "Latin-1 only NULs", latin1 + raw("\0\0") },
        { "UTF-8", utf8 + "Caf\xC3\xA9 \xF0\x9F\x8E\xB5" },
        { "UTF-8 values", utf8 + raw("One\0Two") },
        { "UTF-8 cut short", utf8 + "Caf\xC3" },
        { "UTF-8 overlong", utf8 + "a\xC0\xAF" },
        { "UTF-8 surrogate", utf8 + "a\xED\xA0\x80" },
        { "UTF-8 above U+10FFFF", utf8 + "a\xF4\x90\x80\x80" },
        { "UTF-8 invalid in a later value", utf8 + raw("One\0\xFF") },
        { "UTF-16 little-endian", utf16 + le + raw("A\0\xE9\0\x3D\xD8\xB5\xDF") },
        { "UTF-16 big-endian by its mark", utf16 + be + raw("\0A\0\xE9") },
        { "UTF-16 without a mark", utf16 + raw("A\0B\0") },
        { "UTF-16 only a mark", utf16 + le },
        { "UTF-16 mark, then a value", utf16 + le + raw("\0\0") + le + raw("B\0") },
        { "UTF-16 values", utf16 + le + raw("A\0\0\0") + le + raw("B\0") },
        { "UTF-16 odd length", utf16 + le + raw("A\0B") },
        { "UTF-16 NULs at the end, odd", utf16 + le + raw("A\0\0\0\0") },
        { "UTF-16 NUL at an odd offset", utf16 + le + raw("A\0\0B") },
        { "UTF-16 unpaired lead surrogate", utf16 + le + raw("\x3D\xD8\x41\0") },
        { "UTF-16 unpaired trail surrogate", utf16 + le + raw("A\0\xB5\xDF") },
        { "UTF-16 lead surrogate last", utf16 + le + raw("A\0\x3D\xD8") },
        { "UTF-16BE", utf16be + raw("\0C\0\xE9\xD8\x3D\xDF\xB5") },
        { "UTF-16BE with a mark", utf16be + be + raw("\0A") },
        { "UTF-16BE odd length", utf16be + raw("\0A\0") },
        { "UTF-16BE unpaired surrogate", utf16be + raw("\xD8\x3D\0A") },
    };
    std::string ours = "stale";
    for (const auto& t : texts) {
        SCOPED_TRACE(t.what);
        decode_text_frame(t.body, &ours);
        EXPECT_EQ(ours, taglib_text("TIT2", t.body));
    }

    const struct {
        const char* what;
        std::string body; // encoding, language, description, text
    } comments[] = {
        { "Latin-1", latin1 + raw("eng\0Nice \xBD") },
        { "Latin-1 NUL inside", latin1 + raw("eng\0Ni\0ce") },
        { "Latin-1 no text", latin1 + raw("eng\0") },
        { "UTF-8 invalid after a NUL", utf8 + raw("eng\0ok\0\xC3") },
        { "UTF-16", utf16 + "eng" + le + raw("\0\0") + le + raw("N\0\xBD\0") },
        { "UTF-16 text without its mark", utf16 + "eng" + le + raw("\0\0N\0") },
        { "UTF-16 NUL inside", utf16 + "eng" + le + raw("\0\0") + le + raw("A\0\0\0B\0") },
        { "UTF-16BE", utf16be + raw("eng\0\0\0N\0\xBD") },
        { "UTF-16BE separator at an odd offset", utf16be + raw("eng\0A\0\0\0B") },
    };
    for (const auto& c : comments) {
        SCOPED_TRACE(c.what);
        decode_comment_frame(c.body, &ours);
        EXPECT_EQ(ours, taglib_text("COMM", c.body));
    }

    // TagLib reads an unknown encoding as UTF-16 in the machine's byte order; such a text has
    // no meaning we know, and is absent.
    decode_text_frame(raw("\x04"
                          "\0A\0B"),
        &ours);
    EXPECT_EQ(ours, "");
    decode_comment_frame(raw("\xFF"
                             "eng\0\0AB"),
        &ours);
    EXPECT_EQ(ours, "");
}
