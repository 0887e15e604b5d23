// tag/Mp3Tag.h: the ID3v1 tag record of one MPEG audio file.
#pragma once

#include "platform/support/SupportDefs.h"

class BFile;
struct entry_ref;

// Status of a file whose type is not "audio/x-mpeg".
enum : status_t { MP3TAG_NOT_MPEG = 'mime' };

// Reads the last 128 bytes of a file at construction and offers its five texts with the
// fill bytes removed. Keeps the file open, positioned at the first byte of the tag (or at the
// end, where a new tag would go) until it is destroyed: read-write, or read-only where writing
// is not permitted (write_status then says why, and WriteToDisk fails with it).
class Mp3Tag
{
public:
    explicit Mp3Tag(entry_ref* ref);
    ~Mp3Tag();
    Mp3Tag(const Mp3Tag&) = delete;
    Mp3Tag& operator=(const Mp3Tag&) = delete;

    status_t InitCheck() const { return status; }
    // Writes raw at the current position and moves back to the first byte of the tag. B_OK, the
    // write's failure, write_status for a file open read-only (nothing written), or B_NO_INIT.
    [[nodiscard]] status_t WriteToDisk();
    // Space-fills field after its first NUL (in place: source and field are the same) and puts
    // the text, without trailing spaces, into text (length + 1 bytes).
    void strncpy_space(char* source, char* field, char* text, unsigned char length);

    status_t status;
    status_t write_status; // B_OK, or why the file could not be opened read-write
    BFile* file;
    char raw[128];
    char year[5];
    char title[31];
    char artist[31];
    char album[31];
    char comment[31];
    // The ID3v1.1 track number (comment byte 28 NUL, byte 29 not), or 0 where there is none.
    unsigned char track;
};
