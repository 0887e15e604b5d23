// window/about.cpp: the About alert.
#include "window/TagViewer_window.h"

#include "platform/app/Catalog.h"
#include "platform/interface/Alert.h"

void myAboutWindow()
{
    (new BAlert(nullptr,
         translated("About",
             "Orvalin v001\n\n"
             "Renames your MP3 files from their ID3v1 tags and song attributes, "
             "one file at a time or all of them at once.\n\n"
             "Made by the Kelterhof team, with thanks to everyone who tried "
             "the early builds and told us what broke."),
         translated("About", "Oki")))
        ->Go();
}
