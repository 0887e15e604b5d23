<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr" sourcelanguage="en">
<context>
    <name>About</name>
    <message>
        <source>Orvalin v001

Renames your MP3 files from their ID3v1 tags and song attributes, one file at a time or all of them at once.

Made by the Kelterhof team, with thanks to everyone who tried the early builds and told us what broke.</source>
        <translation>Orvalin v001

Renomme vos fichiers MP3 d&apos;après leurs tags ID3v1 et leurs attributs de morceau, un fichier à la fois ou tous d&apos;un coup.

Fait par l&apos;équipe Kelterhof, avec nos remerciements à tous ceux qui ont essayé les premières versions et nous ont dit ce qui cassait.</translation>
    </message>
    <message>
        <source>Oki</source>
        <translation>D&apos;acc</translation>
    </message>
</context>
<context>
    <name>Alerts</name>
    <message>
        <source>Orvalin:
None of the selected files is MPEG audio,
so there is nothing to rename.</source>
        <translation>Orvalin&#xa0;:
Aucun des fichiers choisis n&apos;est de l&apos;audio MPEG,
il n&apos;y a donc rien à renommer.</translation>
    </message>
    <message>
        <source>Orvalin:
The selected files are not on this computer&apos;s disks
(they are in the Trash or in a place on the network),
so Orvalin cannot rename them.</source>
        <translation>Orvalin&#xa0;:
Les fichiers choisis ne sont pas sur les disques de cet ordinateur
(ils sont dans la corbeille ou quelque part sur le réseau),
Orvalin ne peut donc pas les renommer.</translation>
    </message>
    <message>
        <source>Orvalin:
Some of the selected files are not on this computer&apos;s disks
(they are in the Trash or in a place on the network),
and none of the others is MPEG audio,
so there is nothing to rename.</source>
        <translation>Orvalin&#xa0;:
Certains des fichiers choisis ne sont pas sur les disques de cet ordinateur
(ils sont dans la corbeille ou quelque part sur le réseau),
et aucun des autres n&apos;est de l&apos;audio MPEG,
il n&apos;y a donc rien à renommer.</translation>
    </message>
    <message>
        <source>Oki</source>
        <translation>D&apos;acc</translation>
    </message>
    <message>
        <source>Orvalin:
Could not read filename.
Please terminate program.</source>
        <translation>Orvalin&#xa0;:
Impossible de lire le nom du fichier.
Veuillez quitter le programme.</translation>
    </message>
    <message>
        <source>Orvalin:
Could not read MP3-tags.
Please terminate program.</source>
        <translation>Orvalin&#xa0;:
Impossible de lire les tags MP3.
Veuillez quitter le programme.</translation>
    </message>
    <message>
        <source>Orvalin:
Could not read attributes.
Please terminate program.</source>
        <translation>Orvalin&#xa0;:
Impossible de lire les attributs.
Veuillez quitter le programme.</translation>
    </message>
    <message>
        <source>Master,
I do not understand your bidding!
I&apos;m confused by the /%1something.
</source>
        <translation>Maître,
je ne comprends pas votre volonté&#xa0;!
Je m&apos;embrouille dans le /%1machin.
</translation>
    </message>
    <message>
        <source>I&apos;ll rephrase</source>
        <translation>Je reformule</translation>
    </message>
    <message>
        <source>A file by that name already exists.
</source>
        <translation>Un fichier de ce nom existe déjà.
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
        <translation>Cher Maître,
pour une raison obscure,
votre souhait ne peut être exaucé.
</translation>
    </message>
    <message>
        <source>grumble</source>
        <translation>grommeler</translation>
    </message>
</context>
<context>
    <name>Undo</name>
    <message>
        <source>,</source>
        <extracomment>The thousands separator in counts of files, as in &quot;4,998 files&quot;.</extracomment>
        <translation>&#x202f;</translation>
    </message>
    <message>
        <source>There is nothing to put back.</source>
        <translation>Il n&apos;y a rien à rétablir.</translation>
    </message>
    <message>
        <source>No names were put back.</source>
        <translation>Aucun nom n&apos;a été rétabli.</translation>
    </message>
    <message>
        <source>Put back the name of 1 file.</source>
        <translation>Nom rétabli pour 1 fichier.</translation>
    </message>
    <message>
        <source>Put back the names of %1 files.</source>
        <translation>Noms rétablis pour %1 fichiers.</translation>
    </message>
    <message>
        <source>1 file was left as it is:</source>
        <translation>1 fichier a été laissé tel quel&#xa0;:</translation>
    </message>
    <message>
        <source>%1 files were left as they are:</source>
        <translation>%1 fichiers ont été laissés tels quels&#xa0;:</translation>
    </message>
    <message>
        <source>and %1 more.</source>
        <translation>et %1 de plus.</translation>
    </message>
    <message>
        <source>That renaming could not be fully recorded, so files renamed after the record broke off keep their new names.</source>
        <translation>Ce renommage n&apos;a pas pu être entièrement enregistré, les fichiers renommés après l&apos;interruption de l&apos;enregistrement gardent donc leurs nouveaux noms.</translation>
    </message>
    <message>
        <source>Part of the record of that renaming is damaged, so some files may keep their new names.</source>
        <translation>Une partie de l&apos;enregistrement de ce renommage est endommagée, certains fichiers peuvent donc garder leurs nouveaux noms.</translation>
    </message>
    <message>
        <source>Files renamed in a window that is still open were left as they are: close it first to put those back.</source>
        <translation>Les fichiers renommés dans une fenêtre encore ouverte ont été laissés tels quels&#xa0;: fermez-la d&apos;abord pour les rétablir aussi.</translation>
    </message>
</context>
<context>
    <name>Window</name>
    <message>
        <source>ALL</source>
        <translation>TOUS</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Nom</translation>
    </message>
    <message>
        <source>Name-constructor</source>
        <translation>Constructeur de nom</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Aperçu</translation>
    </message>
    <message>
        <source>Use the tag and attribute variables, and additional</source>
        <translation>Utilisez les variables de tags et d&apos;attributs, et d&apos;autres</translation>
    </message>
    <message>
        <source>characters of your choice, to build the new filename.</source>
        <translation>caractères de votre choix, pour construire le nouveau nom.</translation>
    </message>
    <message>
        <source>Tags:          /at, /tt, /lt, /yt, /ct</source>
        <translation>Tags&#xa0;:         /at, /tt, /lt, /yt, /ct</translation>
    </message>
    <message>
        <source>Attributes:   /aa, /ta, /la, /ya, /ca</source>
        <translation>Attributs&#xa0;:   /aa, /ta, /la, /ya, /ca</translation>
    </message>
    <message>
        <source>Add .mp3</source>
        <translation>Ajouter .mp3</translation>
    </message>
    <message>
        <source>Remove .mp3</source>
        <translation>Retirer .mp3</translation>
    </message>
    <message>
        <source>Rename</source>
        <translation>Renommer</translation>
    </message>
    <message>
        <source>About</source>
        <translation>À propos</translation>
    </message>
    <message>
        <source>Prev</source>
        <translation>Précédent</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Suivant</translation>
    </message>
    <message>
        <source>Track:         /nt, /na</source>
        <translation>Piste&#xa0;:        /nt, /na</translation>
    </message>
</context>
</TS>
