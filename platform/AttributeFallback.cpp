// platform/AttributeFallback.cpp: song texts from ID3v2 tags (TagLib) and file types (Qt's MIME
// database), for files without stored attributes.
#include "platform/AttributeFallback.h"

#include <QByteArray>
#include <QMimeDatabase>
#include <QMimeType>
#include <QString>

#include <taglib/commentsframe.h>
#include <taglib/id3v2frame.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevector.h>
#include <taglib/tbytevectorstream.h>

#include <cerrno>
#include <exception>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const size_t kId3v2HeaderSize = 10;
// The MIME database looks at no more than this many leading bytes.
const size_t kSniffSize = 16 * 1024;

// Opens a regular file for reading without ever opening anything else: the stat comes first so
// that a FIFO or device is not touched, and O_NONBLOCK keeps a file swapped in meanwhile from
// blocking the open. The descriptor, or -1.
int open_regular(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads up to size bytes from offset 0; the bytes read.
std::string read_prefix(int fd, size_t size)
{
    std::string bytes(size, '\0');
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::pread(fd, bytes.data() + done, size - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    bytes.resize(done);
    return bytes;
}

// The full size of the tag that the 10-byte header announces, or 0 when the header is not a
// valid ID3v2 header or claims too much.
size_t id3v2_tag_size(const std::string& header)
{
    if (header.size() < kId3v2HeaderSize || header.compare(0, 3, "ID3") != 0)
        return 0;
    unsigned char major = header[3], revision = header[4], flags = header[5];
    if (major < 2 || major > 4 || revision == 0xFF)
        return 0;
    size_t size = 0;
    for (int i = 6; i < 10; ++i) {
        unsigned char byte = header[i];
        if (byte & 0x80)
            return 0;
        size = (size << 7) | byte;
    }
    if (size > kMaxId3v2TagSize)
        return 0;
    bool footer = major == 4 && (flags & 0x10);
    return kId3v2HeaderSize + size + (footer ? kId3v2HeaderSize : 0);
}

std::optional<std::string> utf8_of(const TagLib::String& text)
{
    if (text.isEmpty())
        return std::nullopt;
    return text.to8Bit(true);
}

std::optional<std::string> text_frame(const TagLib::ID3v2::Tag& tag, const char* id)
{
    const TagLib::ID3v2::FrameList& frames = tag.frameList(id);
    if (frames.isEmpty())
        return std::nullopt;
    return utf8_of(frames.front()->toString());
}

// The year of a TDRC timestamp ("yyyy-MM-dd..."): its leading digits, at most four.
std::optional<std::string> year_of(const std::optional<std::string>& timestamp)
{
    if (!timestamp)
        return std::nullopt;
    size_t digits = 0;
    while (digits < 4 && digits < timestamp->size() && (*timestamp)[digits] >= '0'
        && (*timestamp)[digits] <= '9')
        ++digits;
    if (digits == 0)
        return std::nullopt;
    return timestamp->substr(0, digits);
}

std::optional<std::string> comment_of(const TagLib::ID3v2::Tag& tag)
{
    for (TagLib::ID3v2::Frame* frame : tag.frameList("COMM")) {
        auto* comment = dynamic_cast<TagLib::ID3v2::CommentsFrame*>(frame);
        if (comment != nullptr && comment->description().isEmpty())
            return utf8_of(comment->text());
    }
    return std::nullopt;
}

SongTexts parse_tag(const std::string& bytes)
{
    SongTexts texts;
    TagLib::ByteVectorStream stream(
        TagLib::ByteVector(bytes.data(), static_cast<unsigned int>(bytes.size())));
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    if (!file.isValid() || !file.hasID3v2Tag())
        return texts;
    const TagLib::ID3v2::Tag* tag = file.ID3v2Tag();
    // TagLib files ID3v2.3's TYER under TDRC.
    texts.title = text_frame(*tag, "TIT2");
    texts.artist = text_frame(*tag, "TPE1");
    texts.album = text_frame(*tag, "TALB");
    texts.year = year_of(text_frame(*tag, "TDRC"));
    texts.comment = comment_of(*tag);
    return texts;
}

} // namespace

SongTexts read_id3v2_texts(const std::string& path)
{
    int fd = open_regular(path);
    if (fd < 0)
        return SongTexts();
    SongTexts texts;
    try {
        size_t size = id3v2_tag_size(read_prefix(fd, kId3v2HeaderSize));
        // Only the tag's own bytes reach TagLib, read here; it never opens the file.
        if (size > 0)
            texts = parse_tag(read_prefix(fd, size));
    } catch (...) {
        // std::bad_alloc or a TagLib surprise: the file simply has no usable tag.
        texts = SongTexts();
    }
    ::close(fd);
    return texts;
}

std::optional<std::string> content_type(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    if (S_ISDIR(st.st_mode))
        return std::string("inode/directory");
    if (S_ISFIFO(st.st_mode))
        return std::string("inode/fifo");
    if (S_ISCHR(st.st_mode))
        return std::string("inode/chardevice");
    if (S_ISBLK(st.st_mode))
        return std::string("inode/blockdevice");
    if (S_ISSOCK(st.st_mode))
        return std::string("inode/socket");
    if (!S_ISREG(st.st_mode))
        return std::nullopt;

    try {
        // The name is decoded only for glob matching; the path itself stays bytes.
        size_t slash = path.rfind('/');
        QString leaf
            = QString::fromUtf8(slash == std::string::npos ? path : path.substr(slash + 1));
        QMimeDatabase database;
        QMimeType type;
        if (int fd = open_regular(path); fd >= 0) {
            std::string head = read_prefix(fd, kSniffSize);
            ::close(fd);
            type = database.mimeTypeForFileNameAndData(
                leaf, QByteArray(head.data(), static_cast<qsizetype>(head.size())));
        } else {
            // Unreadable: the name alone.
            const QList<QMimeType> byName = database.mimeTypesForFileName(leaf);
            if (!byName.isEmpty())
                type = byName.front();
        }
        if (!type.isValid() || type.isDefault())
            return std::nullopt;
        QMimeType mpeg = database.mimeTypeForName(QStringLiteral("audio/mpeg"));
        if (type == mpeg || mpeg.aliases().contains(type.name()))
            return std::string("audio/x-mpeg");
        return type.name().toStdString();
    } catch (...) {
        return std::nullopt;
    }
}
