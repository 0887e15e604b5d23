// scripts/make_demo.cpp: orvalin-demo DIR writes a small set of MP3 files that shows what
// Orvalin does with tags, song attributes and names.
#include "scripts/mp3gen.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace
{

struct Song {
    std::string title, artist, album, year, comment;
};

struct DemoFile {
    std::string name;
    std::string shows;
    const Song* id3v1 = nullptr; // the ID3v1 tag at the end
    const Song* attributes = nullptr; // user.Title, user.Artist, ...
    const Song* id3v2 = nullptr; // an ID3v2 tag at the start
    int id3v2Version = 4;
    mp3gen::Frame::Encoding encoding = mp3gen::Frame::Utf8;
    std::string type = {}; // user.BEOS:TYPE, when set
};

std::vector<mp3gen::Frame> frames_of(
    const Song& song, int version, mp3gen::Frame::Encoding encoding, const std::string& track)
{
    std::vector<mp3gen::Frame> frames;
    const std::pair<const char*, const std::string*> fields[]
        = { { "TIT2", &song.title }, { "TPE1", &song.artist }, { "TALB", &song.album },
              { version >= 4 ? "TDRC" : "TYER", &song.year }, { "COMM", &song.comment },
              { "TRCK", &track } };
    for (auto [id, text] : fields)
        if (!text->empty())
            frames.push_back({ id, *text, encoding });
    return frames;
}

// Each file carries its place in the set as a track number ("3/8"): in the ID3v2 frame TRCK,
// the attribute "Track", and the ID3v1.1 byte behind the comment.
bool write_demo_file(
    const std::string& dir, const DemoFile& file, int track, int tracks, bool* attributesMissing)
{
    const std::string trackText = std::to_string(track) + "/" + std::to_string(tracks);
    std::string bytes;
    if (file.id3v2 != nullptr)
        bytes += mp3gen::id3v2(
            file.id3v2Version, frames_of(*file.id3v2, file.id3v2Version, file.encoding, trackText));
    bytes += mp3gen::silent_frames(40); // about a second of silence
    if (file.id3v1 != nullptr) {
        const Song& song = *file.id3v1;
        std::string tag
            = mp3gen::id3v1({ song.title, song.artist, song.album, song.year, song.comment });
        tag[125] = '\0'; // comment byte 28
        tag[126] = static_cast<char>(track); // comment byte 29
        bytes += tag;
    }
    const std::string path = dir + "/" + file.name;
    if (!mp3gen::write_file(path, bytes)) {
        std::fprintf(stderr, "orvalin-demo: cannot write %s\n", path.c_str());
        return false;
    }
    std::vector<std::pair<std::string, std::string>> attributes;
    if (file.attributes != nullptr) {
        const Song& song = *file.attributes;
        attributes = { { "Title", song.title }, { "Artist", song.artist }, { "Album", song.album },
            { "Year", song.year }, { "Comment", song.comment }, { "Track", trackText } };
    }
    if (!file.type.empty())
        attributes.emplace_back("BEOS:TYPE", file.type);
    for (const auto& [name, value] : attributes)
        if (!value.empty() && !mp3gen::set_attribute(path, name, value))
            *attributesMissing = true;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvalin-demo DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    struct stat st;
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "orvalin-demo: %s is not a folder\n", dir.c_str());
        return 1;
    }

    const Song harbour { "Harbour Lights", "The Quiet Tides", "Low Water", "2003", "demo" };
    const Song harbourTag { "Harbour Lights (tag)", "Quiet Tides", "Low Water", "2003", "v1" };
    const Song orchard { "Orchard Rain", "Mira Kestrel", "Seasons", "1998", "attribute" };
    const Song lantern { "Lantern Walk", "Fenwick Brass Band", "Night Parade", "2011",
        "only an ID3v2 tag" };
    const Song tagOnly { "Paper Boats", "Juniper Lane", "Shoreline", "1987", "only ID3v1" };
    const Song nordic { "N\xc3\xb3tt \xc3\xa1 \xc3\x9eingv\xc3\xb6llum",
        "Sigr\xc3\xban \xc3\x86var", "Lj\xc3\xb3s og skuggi", "2019",
        "\xc3\xa9t\xc3\xa9 \xe2\x80\x94 \xe2\x99\xab" };
    const Song nordicTag { "Nott a Thingvollum", "Sigrun Aevar", "Ljos og skuggi", "2019", "" };
    const Song slash { "Open Road", "Stop/Go", "Junction", "1979", "the artist holds a slash" };
    const Song noSuffix { "Unmarked", "Anonymous Choir", "Found Tapes", "1965", "no suffix" };
    const Song mixedAttr { "", "Ada Marlow", "", "", "" };
    const Song mixedV2 { "Glass Hours", "A. Marlow (ID3v2)", "Clockwork", "2021",
        "Title, Album, Year from ID3v2" };
    const Song mixedTag { "Glass Hours", "Ada Marlow", "Clockwork", "2021", "" };

    const std::vector<DemoFile> files = {
        { .name = "track01.mp3",
            .shows = "ID3v1 tag and all song attributes",
            .id3v1 = &harbourTag,
            .attributes = &harbour },
        { .name = "track02.mp3",
            .shows = "ID3v1 tag, all attributes, BEOS:TYPE set by hand",
            .id3v1 = &orchard,
            .attributes = &orchard,
            .type = "audio/x-mpeg" },
        { .name = "track03.mp3",
            .shows = "ID3v2.4 tag only: attributes come from its frames",
            .id3v2 = &lantern },
        { .name = "track04.mp3",
            .shows = "ID3v1 tag only, no attributes (try /at - /tt.mp3)",
            .id3v1 = &tagOnly },
        { .name = "track05 n\xc3\xb3tt.mp3",
            .shows = "UTF-8 name and attributes, ASCII ID3v1 tag",
            .id3v1 = &nordicTag,
            .attributes = &nordic },
        { .name = "track06.mp3",
            .shows = "artist \"Stop/Go\": its \"/\" becomes \"_\" in the name",
            .id3v1 = &slash,
            .attributes = &slash },
        { .name = "track07",
            .shows = "no .mp3 suffix (typed by content; try Add .mp3)",
            .id3v1 = &noSuffix,
            .attributes = &noSuffix },
        { .name = "track08.mp3",
            .shows = "Artist attribute, the rest from an ID3v2.3 UTF-16 tag",
            .id3v1 = &mixedTag,
            .attributes = &mixedAttr,
            .id3v2 = &mixedV2,
            .id3v2Version = 3,
            .encoding = mp3gen::Frame::Utf16 },
    };

    bool attributesMissing = false;
    std::printf("Demo files in %s:\n", dir.c_str());
    const int tracks = static_cast<int>(files.size());
    for (int track = 1; track <= tracks; track++) {
        const DemoFile& file = files[track - 1];
        if (!write_demo_file(dir, file, track, tracks, &attributesMissing))
            return 1;
        std::printf("  %-18s %s\n", file.name.c_str(), file.shows.c_str());
    }
    const std::string notes = dir + "/notes.txt";
    if (!mp3gen::write_file(notes, "Not music: Orvalin refuses this file with a beep.\n"))
        return 1;
    std::printf("  %-18s %s\n", "notes.txt", "plain text: refused (not MPEG audio)");

    if (attributesMissing)
        std::fprintf(stderr,
            "orvalin-demo: this file system keeps no user.* attributes; the files have their "
            "tags only\n");
    return 0;
}
