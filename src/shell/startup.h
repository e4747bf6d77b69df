// Start-up and tear-down of the process.
#pragma once

// The program's entry operation: chooses the mode, sets up the shared state,
// runs the front end of the mode, tears down. Returns the exit code, 0.
int runProgram(int argc, char **argv);
