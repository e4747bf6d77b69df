// The program's name and version as the console's title line and the
// window's title show them.
#pragma once

#define PROGRAM_TITLE "TAVRO Shopping list generator by DURSK"
#define VERSION_TEXT "Alpha 7"

// "TAVRO Shopping list generator by DURSK Alpha 7"
#define PROGRAM_TITLE_WITH_VERSION PROGRAM_TITLE " " VERSION_TEXT
