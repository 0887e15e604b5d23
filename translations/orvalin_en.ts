<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>About</name>
    <message>
        <source>Orvalin v001

Renames your MP3 files from their ID3v1 tags and song attributes, one file at a time or all of them at once.

Made by the Kelterhof team, with thanks to everyone who tried the early builds and told us what broke.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Oki</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Alerts</name>
    <message>
        <source>Orvalin:
None of the selected files is MPEG audio,
so there is nothing to rename.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Orvalin:
The selected files are not on this computer&apos;s disks
(they are in the Trash or in a place on the network),
so Orvalin cannot rename them.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Orvalin:
Some of the selected files are not on this computer&apos;s disks
(they are in the Trash or in a place on the network),
and none of the others is MPEG audio,
so there is nothing to rename.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Oki</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Orvalin:
Could not read filename.
Please terminate program.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Orvalin:
Could not read MP3-tags.
Please terminate program.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Orvalin:
Could not read attributes.
Please terminate program.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Master,
I do not understand your bidding!
I&apos;m confused by the /%1something.
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>I&apos;ll rephrase</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A file by that name already exists.
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ok</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Dear Master,
For some obscure reason,
your wish can not be granted.
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>grumble</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Undo</name>
    <message>
        <source>,</source>
        <extracomment>The thousands separator in counts of files, as in &quot;4,998 files&quot;.</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>There is nothing to put back.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No names were put back.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Put back the name of 1 file.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Put back the names of %1 files.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 file was left as it is:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 files were left as they are:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>and %1 more.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>That renaming could not be fully recorded, so files renamed after the record broke off keep their new names.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Part of the record of that renaming is damaged, so some files may keep their new names.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Files renamed in a window that is still open were left as they are: close it first to put those back.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Window</name>
    <message>
        <source>ALL</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name-constructor</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Preview</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Use the tag and attribute variables, and additional</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>characters of your choice, to build the new filename.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tags:          /at, /tt, /lt, /yt, /ct</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Attributes:   /aa, /ta, /la, /ya, /ca</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add .mp3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove .mp3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rename</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Prev</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Next</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Track:         /nt, /na</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
