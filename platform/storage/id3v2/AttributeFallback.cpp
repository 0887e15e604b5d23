// platform/storage/id3v2/AttributeFallback.cpp: song texts from ID3v2 tags and file types (Qt's
// MIME database), for files without stored attributes.
#include "platform/storage/id3v2/AttributeFallback.h"

#include "platform/storage/id3v2/Id3v2Text.h"
#include "platform/support/OpenRegular.h"
#include "platform/support/PathParts.h"

#include <QByteArray>
#include <QMimeDatabase>
#include <QMimeType>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// The MIME database looks at no more than this many leading bytes.
const size_t kSniffSize = 16 * 1024;

// Opens a regular file for reading without ever opening anything else, even racing. The
// descriptor, or -1.
int open_regular(const std::string& path)
{
    struct stat st;
    return std::max(::open_regular(AT_FDCWD, path.c_str(), O_RDONLY, true, &st), -1);
}

// Reads up to size bytes from offset, no further than the file's size as last seen (so that a
// file shorter than the request costs one read, not a second one to find its end); a size of 0
// may be a file system that gives no sizes, and limits nothing. The bytes read.
std::string read_at(int fd, size_t offset, size_t size, off_t fileSize)
{
    if (fileSize > 0)
        size = std::min(size, fileSize > off_t(offset) ? size_t(fileSize) - offset : size_t(0));
    std::string bytes(size, '\0');
    size_t done = 0;
    while (done < size) {
        ssize_t n
            = ::pread(fd, bytes.data() + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    bytes.resize(done);
    return bytes;
}

// Reads a tag's bytes in windows of 64 KiB, so that walking the frame headers costs a read per
// window, and skipping a large frame one read. A tag within the file's first bytes is read from
// them, without a copy.
class WindowedReader
{
public:
    // head: the file's first bytes, already read (all of them where it is shorter than that).
    WindowedReader(int fd, std::string_view head, off_t fileSize)
        : fFd(fd)
        , fFileSize(fileSize)
        , fWindow(head)
        , fEnded(head.size() < kSniffSize)
    {
    }

    // The bytes stay valid until the next read.
    std::string_view Read(size_t offset, size_t length)
    {
        if (offset < fStart || offset + length > fStart + fWindow.size()) {
            if (fEnded && offset >= fStart && offset <= fStart + fWindow.size())
                return fWindow.substr(offset - fStart, length);
            fStart = offset;
            fOwn = read_at(fFd, offset, std::max(length, kWindowSize), fFileSize);
            fWindow = fOwn;
            fEnded = fWindow.size() < std::max(length, kWindowSize);
        }
        return fWindow.substr(offset - fStart, length);
    }

private:
    static constexpr size_t kWindowSize = 64 * 1024;
    const int fFd;
    const off_t fFileSize;
    size_t fStart = 0;
    std::string_view fWindow;
    std::string fOwn; // the window, once it is no longer the head
    bool fEnded = false; // the window reaches the end of the file
};

// Runs work with a readable descriptor of the regular file: the source's own, or one opened for
// the purpose. False when there is none.
template <typename Work> bool with_descriptor(FallbackSource& source, Work work)
{
    if (!S_ISREG(source.st.st_mode))
        return false;
    if (source.fd >= 0) {
        work(source.fd);
        return true;
    }
    int fd = open_regular(source.path);
    if (fd < 0)
        return false;
    work(fd);
    ::close(fd);
    return true;
}

// The file's first bytes: one read serves the type and the ID3v2 tag.
const std::string& head_of(FallbackSource& source, int fd)
{
    if (!source.head)
        source.head = read_at(fd, 0, kSniffSize, source.st.st_size);
    return *source.head;
}

// The year of a TDRC timestamp ("yyyy-MM-dd..."): its leading digits, at most four.
void keep_year(std::string* timestamp)
{
    size_t digits = 0;
    while (digits < 4 && digits < timestamp->size() && (*timestamp)[digits] >= '0'
        && (*timestamp)[digits] <= '9')
        ++digits;
    timestamp->resize(digits);
}

// The texts of the kept frames. A text that decodes to nothing is absent.
SongTexts texts_of(const SongFrames& frames)
{
    static const struct {
        std::optional<std::string> SongTexts::*text;
        bool comment;
    } kTexts[kKeptFrameCount] = {
        { &SongTexts::title, false },
        { &SongTexts::artist, false },
        { &SongTexts::album, false },
        { &SongTexts::year, false },
        { &SongTexts::comment, true },
        { &SongTexts::track, false },
    };
    SongTexts texts;
    for (size_t i = 0; i < kKeptFrameCount; ++i) {
        if (frames.data[i].empty())
            continue;
        std::optional<std::string>& text = texts.*kTexts[i].text;
        text.emplace();
        if (kTexts[i].comment)
            decode_comment_frame(frames.data[i], &*text);
        else
            decode_text_frame(frames.data[i], &*text);
        if (kTexts[i].text == &SongTexts::year)
            keep_year(&*text);
        if (text->empty())
            text.reset();
    }
    return texts;
}

} // namespace

SongTexts read_id3v2_texts(FallbackSource& source)
{
    SongTexts texts;
    with_descriptor(source, [&](int fd) {
        const std::string& head = head_of(source, fd);
        if (head.compare(0, 3, "ID3") != 0)
            return;
        WindowedReader reader(fd, head, source.st.st_size);
        // The frames' buffers serve every file: a short text costs no allocation.
        thread_local SongFrames frames;
        find_song_frames(
            [&reader](size_t offset, size_t length) { return reader.Read(offset, length); },
            &frames);
        texts = texts_of(frames);
    });
    return texts;
}

std::optional<std::string> content_type(FallbackSource& source)
{
    const mode_t mode = source.st.st_mode;
    if (S_ISDIR(mode))
        return std::string("inode/directory");
    if (S_ISFIFO(mode))
        return std::string("inode/fifo");
    if (S_ISCHR(mode))
        return std::string("inode/chardevice");
    if (S_ISBLK(mode))
        return std::string("inode/blockdevice");
    if (S_ISSOCK(mode))
        return std::string("inode/socket");
    if (!S_ISREG(mode))
        return std::nullopt;

    // Qt's boundary: what the MIME database throws means no type.
    try {
        // The name is decoded only for glob matching; the path itself stays bytes.
        const std::string_view name = path_leaf(source.path);
        QString leaf = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
        QMimeDatabase database;
        QMimeType type;
        bool read = with_descriptor(source, [&](int fd) {
            const std::string& head = head_of(source, fd);
            type = database.mimeTypeForFileNameAndData(
                leaf, QByteArray(head.data(), static_cast<qsizetype>(head.size())));
        });
        if (!read) {
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
