// The main dialog on Windows: the dialog template 101 of the resources,
// shown modeless with its own message loop.
#pragma once

// Shows the main dialog, titled "TAVRO Shopping list generator by DURSK
// Alpha 7" in place of the template's caption, and runs the message loop
// until the dialog asks to quit (Escape, the close box, Close in the system
// menu). dialogWindow holds the dialog's handle while it exists. Returns at
// once when the dialog cannot be made.
void runMainDialog();
