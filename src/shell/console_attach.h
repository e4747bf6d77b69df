// The console that console mode writes to, on each operating system.
#pragma once

// Decides the mode: true when the process can write to the console or
// terminal that it was started from (console mode), false otherwise
// (window mode). Attaches to that console where the platform needs it.
bool attachConsole();

// Releases the console that attachConsole attached to; console mode only.
void detachConsole();
