// tests/message_test.cpp: BMessage fields, the flattened form against damaged input, the dump.
#include "platform/support/DataIO.h"
#include "platform/app/Message.h"
#include "tests/support/Recorder.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <string>

namespace
{

std::string flat(const BMessage& message)
{
    std::string bytes;
    EXPECT_EQ(message.Flatten(&bytes), B_OK);
    return bytes;
}

entry_ref make_ref(const char* directory, const char* name)
{
    entry_ref ref;
    ref.device = 2049;
    ref.directory = 0x1234567890ULL;
    ref.directory_path = directory;
    ref.name = name;
    return ref;
}

// A message whose first count fields are, in order: "refs" (two refs, one name not UTF-8),
// "winloc" (a point), "constructor" (a string), "empty" (an empty string), "multi" (three
// strings, one holding a NUL byte).
const int kSampleFields = 5;
BMessage sample(int count = kSampleFields, uint32 what = 0)
{
    BMessage message(what);
    if (count > 0) {
        entry_ref plain = make_ref("/music", "a.mp3");
        entry_ref latin = make_ref("/m\xfcsik", "\xe9t\xe9\xff.mp3");
        message.AddRef("refs", &plain);
        message.AddRef("refs", &latin);
    }
    if (count > 1)
        message.AddPoint("winloc", BPoint(100, -7.5f));
    if (count > 2)
        message.AddString("constructor", "/aa - /ta - /la.mp3");
    if (count > 3)
        message.AddString("empty", "");
    if (count > 4) {
        message.AddString("multi", "one");
        message.AddString("multi", BString(std::string("t\0o", 3)));
        message.AddString("multi", "three");
    }
    return message;
}

void put32(std::string& bytes, size_t at, uint32 value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// The header, then one field "p" holding the given points.
std::string points_image(const std::vector<std::pair<float, float>>& points)
{
    std::string bytes(16, '\0');
    put32(bytes, 0, 0x4D56524F);
    put32(bytes, 4, 1);
    put32(bytes, 12, 1);
    auto append32 = [&bytes](uint32 value) {
        bytes.append(4, '\0');
        put32(bytes, bytes.size() - 4, value);
    };
    append32(1);
    bytes += "p";
    append32(B_POINT_TYPE);
    append32(static_cast<uint32>(points.size()));
    for (auto [x, y] : points) {
        append32(8);
        append32(std::bit_cast<uint32>(x));
        append32(std::bit_cast<uint32>(y));
    }
    return bytes;
}

// A stream that takes at most a few bytes per write, or fails every write.
class StingyIO : public BDataIO
{
public:
    explicit StingyIO(bool fail)
        : fFail(fail)
    {
    }
    ssize_t Read(void*, size_t) override { return B_ERROR; }
    ssize_t Write(const void* buffer, size_t size) override
    {
        if (fFail)
            return B_DEVICE_FULL;
        size_t n = std::min<size_t>(size, 7);
        bytes.append(static_cast<const char*>(buffer), n);
        return static_cast<ssize_t>(n);
    }
    std::string bytes;

private:
    bool fFail;
};

} // namespace

TEST(Message, FieldsKeepTheirOrderTypeAndValues)
{
    BMessage message = sample();
    EXPECT_EQ(message.CountNames(), kSampleFields);

    const struct {
        const char* name;
        type_code type;
        int32 count;
    } fields[] = { { "refs", B_REF_TYPE, 2 }, { "winloc", B_POINT_TYPE, 1 },
        { "constructor", B_STRING_TYPE, 1 }, { "empty", B_STRING_TYPE, 1 },
        { "multi", B_STRING_TYPE, 3 } };
    for (const auto& field : fields) {
        SCOPED_TRACE(field.name);
        type_code type = 0;
        int32 count = 0;
        EXPECT_EQ(message.GetInfo(field.name, &type, &count), B_OK);
        EXPECT_EQ(type, field.type);
        EXPECT_EQ(count, field.count);
    }

    BString text;
    ASSERT_EQ(message.FindString("multi", 1, &text), B_OK);
    EXPECT_EQ(text.Bytes(), std::string("t\0o", 3));
    const char* chars = nullptr;
    ASSERT_EQ(message.FindString("constructor", 0, &chars), B_OK);
    EXPECT_STREQ(chars, "/aa - /ta - /la.mp3");
}

TEST(Message, FindAddAndRemoveReportTheirStatusCodes)
{
    BMessage message = sample();
    entry_ref ref;
    BPoint point;
    BString text;
    const struct {
        const char* what;
        status_t got;
        status_t want;
    } cases[] = {
        { "missing name", message.FindString("nothing", &text), B_NAME_NOT_FOUND },
        { "other type", message.FindString("refs", &text), B_BAD_TYPE },
        { "point as ref", message.FindRef("winloc", &ref), B_BAD_TYPE },
        { "past the end", message.FindRef("refs", 2, &ref), B_BAD_INDEX },
        { "negative index", message.FindPoint("winloc", -1, &point), B_BAD_INDEX },
        { "null out", message.FindPoint("winloc", 0, static_cast<BPoint*>(nullptr)), B_BAD_VALUE },
        { "null name", message.FindString(nullptr, &text), B_BAD_VALUE },
        { "add other type", message.AddString("winloc", "x"), B_BAD_VALUE },
        { "add null ref", message.AddRef("refs", nullptr), B_BAD_VALUE },
        { "add null string", message.AddString("s", static_cast<const char*>(nullptr)),
            B_BAD_VALUE },
        { "add null name", message.AddPoint(nullptr, BPoint()), B_BAD_VALUE },
        { "remove missing", message.RemoveData("nothing", 0), B_NAME_NOT_FOUND },
        { "remove past end", message.RemoveData("winloc", 1), B_BAD_INDEX },
        { "remove name missing", message.RemoveName("nothing"), B_NAME_NOT_FOUND },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.got, c.want);
    }
    // The refused adds changed nothing.
    EXPECT_EQ(flat(message), flat(sample()));
    EXPECT_FALSE(message.HasString("refs"));
    EXPECT_TRUE(message.HasRef("refs", 1));
    EXPECT_FALSE(message.HasRef("refs", 2));
}

TEST(Message, RemovingValuesKeepsTheRestInOrderAndDropsEmptiedFields)
{
    BMessage message = sample();
    ASSERT_EQ(message.RemoveData("multi", 1), B_OK);
    BString text;
    ASSERT_EQ(message.FindString("multi", 1, &text), B_OK);
    EXPECT_EQ(text, "three");

    ASSERT_EQ(message.RemoveData("winloc"), B_OK);
    EXPECT_EQ(message.GetInfo("winloc", nullptr, nullptr), B_NAME_NOT_FOUND);
    EXPECT_EQ(message.CountNames(), kSampleFields - 1);

    // A field added again after it vanished goes to the end.
    ASSERT_EQ(message.AddPoint("winloc", BPoint(1, 2)), B_OK);
    ASSERT_EQ(message.RemoveName("refs"), B_OK);
    BMessage expected;
    expected.AddString("constructor", "/aa - /ta - /la.mp3");
    expected.AddString("empty", "");
    expected.AddString("multi", "one");
    expected.AddString("multi", "three");
    expected.AddPoint("winloc", BPoint(1, 2));
    EXPECT_EQ(flat(message), flat(expected));

    message.MakeEmpty();
    EXPECT_TRUE(message.IsEmpty());
}

TEST(Message, RemovingTheFirstRefRepeatedlyEmptiesAHugeSelection)
{
    const int kCount = 100000;
    BMessage message('DATA');
    entry_ref ref = make_ref("/selection", "");
    for (int i = 0; i < kCount; ++i) {
        ref.name = std::to_string(i) + ".mp3";
        ASSERT_EQ(message.AddRef("refs", &ref), B_OK);
    }
    int taken = 0;
    while (message.FindRef("refs", 0, &ref) == B_OK) {
        if (ref.name != std::to_string(taken) + ".mp3") {
            ADD_FAILURE() << "entry " << taken << " came out as " << ref.name;
            break;
        }
        ASSERT_EQ(message.RemoveData("refs", 0), B_OK);
        ++taken;
    }
    EXPECT_EQ(taken, kCount);
    EXPECT_FALSE(message.HasRef("refs"));
    EXPECT_TRUE(message.IsEmpty());
}

TEST(Message, ACopyIsIndependentOfItsOriginal)
{
    BMessage original = sample(kSampleFields, 'DATA');
    const std::string before = flat(original);

    BMessage copy(original);
    BMessage assigned;
    assigned.AddString("stale", "gone");
    assigned = original;
    EXPECT_EQ(flat(copy), before);
    EXPECT_EQ(flat(assigned), before);

    original.RemoveData("refs", 0);
    original.AddString("constructor", "more");
    original.what = 0;
    EXPECT_EQ(flat(copy), before);
    EXPECT_EQ(flat(assigned), before);

    copy.MakeEmpty();
    EXPECT_EQ(original.CountNames(), kSampleFields);
    EXPECT_EQ(assigned.CountNames(), kSampleFields);
}

TEST(MessageFlatten, RoundTripsEveryFieldTypeByteForByte)
{
    const std::pair<const char*, BMessage> cases[] = {
        { "settings-shaped, code 0", sample(4, 0) },
        { "refs with non-UTF-8 names", sample(1, '_MCH') },
        { "everything", sample(kSampleFields, 0xFFFFFFFF) },
        { "no fields", BMessage('next') },
    };
    for (const auto& [what, message] : cases) {
        SCOPED_TRACE(what);
        const std::string bytes = flat(message);
        BMessage back;
        back.AddString("stale", "replaced by unflattening");
        ASSERT_EQ(back.Unflatten(bytes.data(), bytes.size()), B_OK);
        EXPECT_EQ(back.what, message.what);
        EXPECT_EQ(flat(back), bytes);
        EXPECT_EQ(message.FlattenedSize(), static_cast<ssize_t>(bytes.size()));
    }

    BMessage back;
    const std::string bytes = flat(sample());
    ASSERT_EQ(back.Unflatten(bytes.data(), bytes.size()), B_OK);
    entry_ref ref;
    ASSERT_EQ(back.FindRef("refs", 1, &ref), B_OK);
    EXPECT_EQ(ref.directory_path, "/m\xfcsik");
    EXPECT_EQ(ref.name, "\xe9t\xe9\xff.mp3");
    EXPECT_EQ(ref.device, 2049);
    EXPECT_EQ(ref.directory, 0x1234567890ULL);
    BPoint point;
    ASSERT_EQ(back.FindPoint("winloc", &point), B_OK);
    EXPECT_EQ(point, BPoint(100, -7.5f));
    BString empty("not empty");
    ASSERT_EQ(back.FindString("empty", &empty), B_OK);
    EXPECT_EQ(empty, "");
}

TEST(MessageFlatten, GoesThroughStreamsWholeAndReportsTheirFailures)
{
    const BMessage message = sample();
    const std::string bytes = flat(message);

    BMallocIO memory;
    ssize_t size = 0;
    ASSERT_EQ(message.Flatten(&memory, &size), B_OK);
    EXPECT_EQ(size, static_cast<ssize_t>(bytes.size()));
    EXPECT_EQ(memory.Bytes(), bytes);

    StingyIO stingy(false);
    ASSERT_EQ(message.Flatten(&stingy), B_OK);
    EXPECT_EQ(stingy.bytes, bytes);

    StingyIO full(true);
    EXPECT_EQ(message.Flatten(&full), B_DEVICE_FULL);
    EXPECT_EQ(message.Flatten(static_cast<BDataIO*>(nullptr)), B_BAD_VALUE);

    BMallocIO in(bytes);
    BMessage back;
    ASSERT_EQ(back.Unflatten(&in), B_OK);
    EXPECT_EQ(flat(back), bytes);

    // A stream far larger than any settings file is refused without reading it all.
    BMallocIO huge(bytes + std::string(17 * 1024 * 1024, 'x'));
    EXPECT_EQ(back.Unflatten(&huge), B_BAD_VALUE);
    EXPECT_EQ(flat(back), bytes); // the fields before the excess were intact
}

TEST(MessageUnflatten, KeepsOnlyWholeFieldsOfATruncatedImage)
{
    const std::string bytes = flat(sample());
    for (size_t length = 0; length < bytes.size(); ++length) {
        SCOPED_TRACE(length);
        BMessage back;
        ASSERT_EQ(back.Unflatten(bytes.data(), length), B_BAD_VALUE);
        // Whatever came out is the original's first fields, unchanged.
        EXPECT_EQ(flat(back), flat(sample(back.CountNames())));
    }
}

TEST(MessageUnflatten, SurvivesEveryFlippedBit)
{
    const std::string bytes = flat(sample(kSampleFields, '_MCH'));
    for (size_t at = 0; at < bytes.size(); ++at) {
        for (int bit = 0; bit < 8; ++bit) {
            std::string damaged = bytes;
            damaged[at] = static_cast<char>(damaged[at] ^ (1 << bit));
            BMessage back;
            status_t status = back.Unflatten(damaged.data(), damaged.size());
            SCOPED_TRACE(testing::Message() << "byte " << at << " bit " << bit);
            ASSERT_TRUE(status == B_OK || status == B_BAD_VALUE) << status;
            if (at < 8) { // magic or version
                EXPECT_EQ(status, B_BAD_VALUE);
                EXPECT_TRUE(back.IsEmpty());
            }
            // What came out is a sound message: it flattens and reads back the same.
            const std::string again = flat(back);
            BMessage twice;
            ASSERT_EQ(twice.Unflatten(again.data(), again.size()), B_OK);
            EXPECT_EQ(flat(twice), again);
            EXPECT_LE(again.size(), bytes.size());
        }
    }
}

TEST(MessageUnflatten, RefusesOversizedLengthsAndKeepsTheFieldsBeforeThem)
{
    // Offsets into the image of sample(3): header 16; "refs" field: name length at 16.
    const std::string bytes = flat(sample(3));
    const size_t refsEnd = flat(sample(1)).size();
    const size_t winlocEnd = flat(sample(2)).size();
    const struct {
        const char* what;
        size_t at;
        uint32 value;
        int intactFields;
    } cases[] = {
        { "field count", 12, 0xFFFFFFFF, 3 },
        { "first name length", 16, 0xFFFFFFFF, 0 },
        { "first name length zero", 16, 0, 0 },
        { "first value count", 16 + 4 + 4 + 4, 0xFFFFFFFF, 0 },
        { "first value count zero", 16 + 4 + 4 + 4, 0, 0 },
        { "first value length", 16 + 4 + 4 + 4 + 4, 0x7FFFFFFF, 0 },
        { "first value shorter than a ref", 16 + 4 + 4 + 4 + 4, 8, 0 },
        { "second field's type", refsEnd + 4 + 6, 'LONG', 1 },
        { "point length", refsEnd + 4 + 6 + 4 + 4, 16, 1 },
        { "third value count", winlocEnd + 4 + 11 + 4, 0x40000000, 2 },
        { "third value length", winlocEnd + 4 + 11 + 4 + 4, 0xFFFFFFF0, 2 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string damaged = bytes;
        ASSERT_LE(c.at + 4, damaged.size());
        put32(damaged, c.at, c.value);
        BMessage back;
        // A field count past the fields present finds the end of the bytes first.
        EXPECT_EQ(back.Unflatten(damaged.data(), damaged.size()), B_BAD_VALUE);
        EXPECT_EQ(flat(back), flat(sample(c.intactFields)));
    }
}

namespace
{

// An image with the given field count and then the given field bytes.
std::string image(uint32 fieldCount, const std::string& fields)
{
    std::string bytes(16, '\0');
    put32(bytes, 0, 0x4D56524F);
    put32(bytes, 4, 1);
    put32(bytes, 12, fieldCount);
    return bytes + fields;
}

// A field's name, type and value count, its values to follow.
std::string field_head(const std::string& name, uint32 type, uint32 count)
{
    std::string bytes(12 + name.size(), '\0');
    put32(bytes, 0, static_cast<uint32>(name.size()));
    bytes.replace(4, name.size(), name);
    put32(bytes, 4 + name.size(), type);
    put32(bytes, 8 + name.size(), count);
    return bytes;
}

} // namespace

TEST(MessageUnflatten, ReadsImagesOfManyFieldsOrValuesWhole)
{
    // 200,000 fields of one string, then the first name again; one field of 15 MiB of empty
    // strings, whole and with its last value running past the end.
    const uint32 kFields = 200000;
    std::string fields;
    for (uint32 i = 0; i <= kFields; ++i) {
        std::string name = std::to_string(i % kFields);
        fields += field_head(name.insert(0, 1, 'f'), B_STRING_TYPE, 1);
        fields += std::string("\1\0\0\0", 4) + (i < kFields ? "x" : "y");
    }
    const uint32 kEmpty = 15 * 1024 * 1024 / 4;
    const std::string empties
        = field_head("s", B_STRING_TYPE, kEmpty) + std::string(4 * kEmpty, '\0');
    std::string cut = empties;
    put32(cut, cut.size() - 4, 1);
    const struct {
        const char* what;
        std::string bytes;
        status_t status;
        int32 names;
        const char* name;
        int32 count;
    } cases[] = {
        { "many fields", image(kFields + 1, fields), B_OK, kFields, "f0", 2 },
        { "many empty strings", image(1, empties), B_OK, 1, "s", kEmpty },
        { "many empty strings, cut", image(1, cut), B_BAD_VALUE, 0, "s", 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        BMessage back;
        EXPECT_EQ(back.Unflatten(c.bytes.data(), c.bytes.size()), c.status);
        EXPECT_EQ(back.CountNames(), c.names);
        int32 count = 0;
        back.GetInfo(c.name, nullptr, &count);
        EXPECT_EQ(count, c.count);
    }
}

TEST(MessageUnflatten, RefusesEmptyAndForeignInput)
{
    std::string otherVersion = flat(sample());
    otherVersion[4] = 2;
    std::string trailing = flat(sample()) + "x";
    const std::pair<const char*, std::string> cases[] = {
        { "empty", "" },
        { "text", "winloc=100,100\nconstructor=/aa - /ta - /la.mp3\n" },
        { "PNG", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) },
        { "zeros", std::string(64, '\0') },
        { "version 2", otherVersion },
        { "bytes after the fields", trailing },
    };
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        BMessage back;
        back.AddString("stale", "x");
        EXPECT_EQ(back.Unflatten(bytes.data(), bytes.size()), B_BAD_VALUE);
        if (std::string(what) == "bytes after the fields")
            EXPECT_EQ(flat(back), flat(sample()));
        else
            EXPECT_TRUE(back.IsEmpty());
    }
    BMessage back;
    EXPECT_EQ(back.Unflatten(nullptr, 4), B_BAD_VALUE);
    EXPECT_EQ(back.Unflatten(static_cast<BDataIO*>(nullptr)), B_BAD_VALUE);
}

TEST(MessageUnflatten, DropsPointsWithNonFiniteCoordinates)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        const char* what;
        std::vector<std::pair<float, float>> points;
        std::vector<BPoint> kept;
    } cases[] = {
        { "NaN x", { { nan, 5 } }, {} },
        { "infinite y", { { 5, -inf } }, {} },
        { "among finite ones", { { 1, 2 }, { inf, inf }, { -0.0f, 3e38f } },
            { { 1, 2 }, { -0.0f, 3e38f } } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string bytes = points_image(c.points);
        BMessage back;
        ASSERT_EQ(back.Unflatten(bytes.data(), bytes.size()), B_OK);
        int32 count = 0;
        EXPECT_EQ(back.GetInfo("p", nullptr, &count), c.kept.empty() ? B_NAME_NOT_FOUND : B_OK);
        ASSERT_EQ(count, static_cast<int32>(c.kept.size()));
        for (size_t i = 0; i < c.kept.size(); ++i) {
            BPoint point;
            ASSERT_EQ(back.FindPoint("p", static_cast<int32>(i), &point), B_OK);
            EXPECT_EQ(std::bit_cast<uint32>(point.x), std::bit_cast<uint32>(c.kept[i].x));
            EXPECT_EQ(point.y, c.kept[i].y);
        }
    }
}

TEST(MessagePrint, DumpsEveryFieldTypeReadably)
{
    BMessage message('_MCH');
    entry_ref a = make_ref("/dir", "a.mp3");
    entry_ref b = make_ref("/dir", "b \"1\".mp3");
    message.AddRef("refs", &a);
    message.AddRef("refs", &b);
    message.AddPoint("winloc", BPoint(100, 12.5f));
    message.AddString("constructor", "/aa - /ta");
    message.AddString("lines", "one\ttwo\n");
    message.AddString("lines", "");

    std::string dump;
    {
        // Ended before asserting: a failure report goes to standard output too.
        TraceCapture capture;
        message.PrintToStream();
        BMessage(0).PrintToStream();
        BMessage(0x01020304).PrintToStream();
        dump = capture.Take();
    }
    EXPECT_EQ(dump,
        "BMessage('_MCH') {\n"
        "  refs (RREF, 2): \"/dir/a.mp3\", \"/dir/b \\\"1\\\".mp3\"\n"
        "  winloc (BPNT): BPoint(x:100, y:12.5)\n"
        "  constructor (CSTR): \"/aa - /ta\"\n"
        "  lines (CSTR, 2): \"one\\x09two\\x0a\", \"\"\n"
        "}\n"
        "BMessage(0x00000000) {\n"
        "}\n"
        "BMessage(0x01020304) {\n"
        "}\n");
}
