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
</context>
</TS>
