<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>About</name>
    <message>
        <source>Orvalin v001

Renames your MP3 files from their ID3v1 tags and song attributes, one file at a time or all of them at once.

Made by the Kelterhof team, with thanks to everyone who tried the early builds and told us what broke.</source>
        <translation>Orvalin v001

Benennt Ihre MP3-Dateien nach ihren ID3v1-Tags und Song-Attributen um, eine Datei nach der anderen oder alle auf einmal.

Gemacht vom Kelterhof-Team, mit Dank an alle, die die frühen Versionen ausprobiert und uns gesagt haben, was kaputtging.</translation>
    </message>
    <message>
        <source>Oki</source>
        <translation>Oki</translation>
    </message>
</context>
<context>
    <name>Alerts</name>
    <message>
        <source>Orvalin:
None of the selected files is MPEG audio,
so there is nothing to rename.</source>
        <translation>Orvalin:
Keine der gewählten Dateien ist MPEG-Audio,
also gibt es nichts umzubenennen.</translation>
    </message>
    <message>
        <source>Orvalin:
The selected files are not on this computer&apos;s disks
(they are in the Trash or in a place on the network),
so Orvalin cannot rename them.</source>
        <translation>Orvalin:
Die gewählten Dateien liegen nicht auf den Platten dieses Rechners
(sie sind im Papierkorb oder an einem Ort im Netz),
darum kann Orvalin sie nicht umbenennen.</translation>
    </message>
    <message>
        <source>Orvalin:
Some of the selected files are not on this computer&apos;s disks
(they are in the Trash or in a place on the network),
and none of the others is MPEG audio,
so there is nothing to rename.</source>
        <translation>Orvalin:
Einige der gewählten Dateien liegen nicht auf den Platten dieses Rechners
(sie sind im Papierkorb oder an einem Ort im Netz),
und keine der anderen ist MPEG-Audio,
also gibt es nichts umzubenennen.</translation>
    </message>
    <message>
        <source>Oki</source>
        <translation>Oki</translation>
    </message>
    <message>
        <source>Orvalin:
Could not read filename.
Please terminate program.</source>
        <translation>Orvalin:
Der Dateiname ließ sich nicht lesen.
Bitte beenden Sie das Programm.</translation>
    </message>
    <message>
        <source>Orvalin:
Could not read MP3-tags.
Please terminate program.</source>
        <translation>Orvalin:
Die MP3-Tags ließen sich nicht lesen.
Bitte beenden Sie das Programm.</translation>
    </message>
    <message>
        <source>Orvalin:
Could not read attributes.
Please terminate program.</source>
        <translation>Orvalin:
Die Attribute ließen sich nicht lesen.
Bitte beenden Sie das Programm.</translation>
    </message>
    <message>
        <source>Master,
I do not understand your bidding!
I&apos;m confused by the /%1something.
</source>
        <translation>Meister,
ich verstehe Euer Geheiß nicht!
Mich verwirrt das /%1Dingsbums.
</translation>
    </message>
    <message>
        <source>I&apos;ll rephrase</source>
        <translation>Ich sag&apos;s anders</translation>
    </message>
    <message>
        <source>A file by that name already exists.
</source>
        <translation>Eine Datei dieses Namens gibt es schon.
</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>Ok</translation>
    </message>
    <message>
        <source>Dear Master,
For some obscure reason,
your wish can not be granted.
</source>
        <translation>Werter Meister,
aus unerfindlichem Grund
kann Euer Wunsch nicht erfüllt werden.
</translation>
    </message>
    <message>
        <source>grumble</source>
        <translation>grummel</translation>
    </message>
</context>
<context>
    <name>Undo</name>
    <message>
        <source>,</source>
        <extracomment>The thousands separator in counts of files, as in &quot;4,998 files&quot;.</extracomment>
        <translation>.</translation>
    </message>
    <message>
        <source>There is nothing to put back.</source>
        <translation>Es gibt nichts wiederherzustellen.</translation>
    </message>
    <message>
        <source>No names were put back.</source>
        <translation>Es wurden keine Namen wiederhergestellt.</translation>
    </message>
    <message>
        <source>Put back the name of 1 file.</source>
        <translation>Der Name von 1 Datei wurde wiederhergestellt.</translation>
    </message>
    <message>
        <source>Put back the names of %1 files.</source>
        <translation>Die Namen von %1 Dateien wurden wiederhergestellt.</translation>
    </message>
    <message>
        <source>1 file was left as it is:</source>
        <translation>1 Datei blieb, wie sie ist:</translation>
    </message>
    <message>
        <source>%1 files were left as they are:</source>
        <translation>%1 Dateien blieben, wie sie sind:</translation>
    </message>
    <message>
        <source>and %1 more.</source>
        <translation>und %1 weitere.</translation>
    </message>
    <message>
        <source>That renaming could not be fully recorded, so files renamed after the record broke off keep their new names.</source>
        <translation>Diese Umbenennung ließ sich nicht vollständig aufzeichnen, darum behalten Dateien, die nach dem Abbruch der Aufzeichnung umbenannt wurden, ihre neuen Namen.</translation>
    </message>
    <message>
        <source>Part of the record of that renaming is damaged, so some files may keep their new names.</source>
        <translation>Ein Teil der Aufzeichnung dieser Umbenennung ist beschädigt, darum behalten manche Dateien vielleicht ihre neuen Namen.</translation>
    </message>
    <message>
        <source>Files renamed in a window that is still open were left as they are: close it first to put those back.</source>
        <translation>Dateien, die in einem noch offenen Fenster umbenannt wurden, blieben, wie sie sind: Schließen Sie es zuerst, um auch sie wiederherzustellen.</translation>
    </message>
</context>
<context>
    <name>Window</name>
    <message>
        <source>ALL</source>
        <translation>ALLE</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Name-constructor</source>
        <translation>Namensbauer</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Vorschau</translation>
    </message>
    <message>
        <source>Use the tag and attribute variables, and additional</source>
        <translation>Bauen Sie den neuen Dateinamen aus den Tag- und</translation>
    </message>
    <message>
        <source>characters of your choice, to build the new filename.</source>
        <translation>Attributvariablen und weiteren Zeichen Ihrer Wahl.</translation>
    </message>
    <message>
        <source>Tags:          /at, /tt, /lt, /yt, /ct</source>
        <translation>Tags:          /at, /tt, /lt, /yt, /ct</translation>
    </message>
    <message>
        <source>Attributes:   /aa, /ta, /la, /ya, /ca</source>
        <translation>Attribute:    /aa, /ta, /la, /ya, /ca</translation>
    </message>
    <message>
        <source>Add .mp3</source>
        <translation>.mp3 anfügen</translation>
    </message>
    <message>
        <source>Remove .mp3</source>
        <translation>.mp3 entfernen</translation>
    </message>
    <message>
        <source>Rename</source>
        <translation>Umbenennen</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>Prev</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Weiter</translation>
    </message>
    <message>
        <source>Track:         /nt, /na</source>
        <translation>Titelnr.:      /nt, /na</translation>
    </message>
</context>
</TS>
