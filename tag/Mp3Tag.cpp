// tag/Mp3Tag.cpp: reading the ID3v1 tag (the last 128 bytes of a file) into trimmed texts.
#include "tag/Mp3Tag.h"

#include "platform/storage/File.h"

#include <cerrno>
#include <cstring>

namespace
{

const size_t kTagSize = 128;
const char kMpegType[] = "audio/x-mpeg"; // compared with its NUL: 13 bytes

// Open statuses that mean only that writing is not permitted: the file may still be read.
bool write_refused(status_t status)
{
    return status == B_PERMISSION_DENIED || status == B_NOT_ALLOWED
        || status == status_for_errno(EROFS);
}

// A file without a tag gets this image: "TAG", 124 spaces, genre 0.
void blank_image(char* raw)
{
    std::memset(raw, ' ', kTagSize);
    std::memcpy(raw, "TAG", 3);
    raw[kTagSize - 1] = 0;
}

} // namespace

Mp3Tag::Mp3Tag(entry_ref* ref)
{
    file = new BFile(ref, B_READ_WRITE);
    // A file we may read but not write (mode 0444, an immutable file, a read-only mount) is
    // read all the same; only the write-back is refused.
    if (status_t opened = file->InitCheck(); write_refused(opened)) {
        write_status = opened;
        file->SetTo(ref, B_READ_ONLY);
    }
    off_t size = 0;
    if (status_t opened = file->InitCheck(); opened != B_OK) {
        status = opened;
        return;
    }
    if (file->GetSize(&size) != B_OK)
        size = 0;
    Read(*file, size);
}

Mp3Tag::Mp3Tag(BFile& f, off_t size, status_t writeStatus)
    : write_status(writeStatus)
{
    if (status_t opened = f.InitCheck(); opened != B_OK) {
        status = opened;
        return;
    }
    Read(f, size);
}

status_t Mp3Tag::OpenSong(
    BFile& file, const BEntry& entry, node_ref* node, off_t* size, status_t* writeStatus)
{
    *writeStatus = B_OK;
    status_t opened = file.SetTo(entry, B_READ_WRITE, node, size);
    if (write_refused(opened)) {
        *writeStatus = opened;
        opened = file.SetTo(entry, B_READ_ONLY, node, size);
    }
    return opened;
}

void Mp3Tag::Read(BFile& f, off_t size)
{
    char type[240];
    ssize_t length = f.ReadAttr("BEOS:TYPE", B_STRING_TYPE, 0, type, sizeof(type));
    if (length < static_cast<ssize_t>(sizeof(kMpegType))
        || std::memcmp(type, kMpegType, sizeof(kMpegType)) != 0) {
        status = MP3TAG_NOT_MPEG;
        return;
    }
    status = B_OK;

    // A file shorter than a tag, or one whose image cannot be read whole, has no tag.
    const off_t tagAt = size - static_cast<off_t>(kTagSize);
    bool tagged = tagAt >= 0 && f.Seek(tagAt, SEEK_SET) >= 0
        && f.Read(raw, kTagSize) == static_cast<ssize_t>(kTagSize)
        && std::memcmp(raw, "TAG", 3) == 0;
    if (tagged) {
        f.Seek(tagAt, SEEK_SET);
    } else {
        blank_image(raw);
        f.Seek(size, SEEK_SET);
    }

    // Read before the field step turns the track byte into a space.
    if (raw[97 + 28] == '\0')
        track = static_cast<unsigned char>(raw[97 + 29]);
    strncpy_space(raw + 3, raw + 3, title, 30);
    strncpy_space(raw + 33, raw + 33, artist, 30);
    strncpy_space(raw + 63, raw + 63, album, 30);
    strncpy_space(raw + 93, raw + 93, year, 4);
    strncpy_space(raw + 97, raw + 97, comment, 30);
}

Mp3Tag::~Mp3Tag()
{
    delete file;
}

// Nothing in the program writes tags back; the status is for whoever does.
status_t Mp3Tag::WriteToDisk()
{
    if (file == nullptr || file->InitCheck() != B_OK)
        return B_NO_INIT;
    if (write_status != B_OK)
        return write_status;
    ssize_t written = file->Write(raw, kTagSize);
    file->Seek(-static_cast<off_t>(kTagSize), SEEK_END);
    if (written < 0)
        return static_cast<status_t>(written);
    return written == static_cast<ssize_t>(kTagSize) ? B_OK : B_DEVICE_FULL;
}

void Mp3Tag::strncpy_space(char* source, char* field, char* text, unsigned char length)
{
    const void* nul = std::memchr(source, '\0', length);
    size_t fillStart = nul ? static_cast<const char*>(nul) - source + 1 : length;

    // source and field are the same bytes in every use: memmove keeps that well defined.
    std::memmove(field, source, length);
    std::memset(field + fillStart, ' ', length - fillStart);

    // The text is the bytes before the first NUL (the field step has left that NUL in place).
    size_t textLength = nul ? fillStart - 1 : length;
    std::memcpy(text, field, textLength);
    std::memset(text + textLength, 0, length - textLength);

    // Trim trailing spaces, starting from the last byte; a NUL there stops the trim at once.
    size_t end = length;
    while (end > 0 && text[end - 1] == ' ')
        --end;
    text[end] = '\0';
}
