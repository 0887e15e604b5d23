// platform/support/ProgramName.h: the program's names, as app/ gives them once from its
// signature, for the kits that write them (the toolkit's application name and catalogues, the
// alerts' title, the journal's state folder, the temporary names of a rename).
#pragma once

#include "platform/support/SupportDefs.h"

#include <string>

// Takes the names from a signature "application/x-vnd.Maker-Program": the title "Program" and
// the name in files and folders, "program". Called by app/ before anything reads them and before
// any thread starts. B_OK (also for the names already set); B_BAD_VALUE for a signature of
// another shape; B_NOT_ALLOWED once other names are set: they never change while a process runs.
[[nodiscard]] status_t set_program_signature(const char* signature);

// The program's title ("Program"). A process that never sets the names (a test, a tool) gets
// the name of the project it was built from, as the build names it.
const std::string& program_title();

// The program's name in files and folders: the title in lower case.
const std::string& program_leaf();
