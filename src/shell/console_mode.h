// The console front end: options and items from the command line, the
// shopping list on standard output.
#pragma once

#include "base/process_state.h"

// Prints the seven lines of the option list.
void printUsage();

// Runs the console mode once: usage list, header, option pass, one
// expansion per item, and the sorted, filtered list (or "Error %d").
void runCommandLine(int argc, char **argv);

// The option pass: every argument after argv[0] that is one of the twelve
// option forms (letter case ignored) turns its setting in *chosen on.
void readOptions(int argc, char **argv, Settings *chosen);
