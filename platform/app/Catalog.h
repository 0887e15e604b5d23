// platform/app/Catalog.h: the texts the program shows, in the user's language.
#pragma once

// The translation of text (UTF-8) into the user's language from the program's catalogue,
// looked up under context (where the text is shown); text itself, the very same bytes, where
// the catalogue has none or the toolkit is not running. The result lives as long as the process.
// The catalogue's sources (translations/*.ts) are refreshed with
//   lupdate -tr-function-alias translate+=translated app window platform -ts translations/*.ts
const char* translated(const char* context, const char* text);

// Loads the toolkit's own catalogue and the program's for the user's language, and lays windows
// out right to left for a language written that way. Called once the toolkit runs.
void load_catalogues();
