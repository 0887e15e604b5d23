// tag/Mp3Tag.h: the ID3v1 tag record of one MPEG audio file.
#pragma once

#include "platform/support/SupportDefs.h"

class BEntry;
class BFile;
struct entry_ref;
struct node_ref;

// Status of a file whose type is not "audio/x-mpeg".
enum : status_t { MP3TAG_NOT_MPEG = 'mime' };

// Reads the last 128 bytes of a file at construction and offers its five texts with the
// fill bytes removed. The file is positioned at the first byte of the tag (or at the end, where
// a new tag would go). A record that opens its file itself keeps it open until it is
// destroyed: read-write, or read-only where writing is not permitted (write_status then says
// why, and WriteToDisk fails with it).
class Mp3Tag
{
public:
    explicit Mp3Tag(entry_ref* ref);
    // Reads the record of file, which the caller opened (read-only where writeStatus says why
    // it could not be opened read-write) and whose size at that open was size. The record keeps
    // no hold on it: file is null, and WriteToDisk has nothing to write to.
    Mp3Tag(BFile& file, off_t size, status_t writeStatus);
    // Opens the song the entry names as a record reads it, in file: read-write, or read-only
    // where writing is not permitted (*writeStatus says why; B_OK otherwise). *node and *size
    // as BFile::SetTo(const BEntry&) gives them. The open's status.
    static status_t OpenSong(
        BFile& file, const BEntry& entry, node_ref* node, off_t* size, status_t* writeStatus);
    ~Mp3Tag();
    Mp3Tag(const Mp3Tag&) = delete;
    Mp3Tag& operator=(const Mp3Tag&) = delete;

    status_t InitCheck() const { return status; }
    // Writes raw at the current position and moves back to the first byte of the tag. B_OK, the
    // write's failure, write_status for a file open read-only (nothing written), or B_NO_INIT
    // (no file of its own).
    [[nodiscard]] status_t WriteToDisk();
    // Space-fills field after its first NUL (in place: source and field are the same) and puts
    // the text, without trailing spaces, into text (length + 1 bytes).
    void strncpy_space(char* source, char* field, char* text, unsigned char length);

    status_t status = B_NO_INIT;
    status_t write_status = B_OK; // B_OK, or why the file could not be opened read-write
    BFile* file = nullptr; // the file the record opened itself, or null
    char raw[128] = {};
    char year[5] = {};
    char title[31] = {};
    char artist[31] = {};
    char album[31] = {};
    char comment[31] = {};
    // The ID3v1.1 track number (comment byte 28 NUL, byte 29 not), or 0 where there is none.
    unsigned char track = 0;

private:
    // Reads the record from f, whose size is size.
    void Read(BFile& f, off_t size);
};
