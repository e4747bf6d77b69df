// The main dialog on Windows: the dialog template 101 of the resources,
// shown modeless with its own message loop.
#pragma once

// The title that runMainDialog gives the window in place of the template's
// caption ("TAVRO Shopping List Generator").
inline constexpr char MAIN_WINDOW_TITLE[] = "TAVRO Shopping list generator by DURSK Alpha 7";

// Distance of the text boxes' tab stops, in horizontal dialog units.
constexpr int TAB_STOP_UNITS = 32;

// Shows the main dialog and runs the message loop until the dialog asks to
// quit (Escape, the close box, Close in the system menu). dialogWindow holds
// the dialog's handle while it exists. Returns at once when the dialog
// cannot be made.
void runMainDialog();
