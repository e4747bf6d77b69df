// Printing the finished material table as the shopping list, in the
// console's form and in the dialog's.
#pragma once

#include <string>

#include "recipe/material_table.h"

// The console's rows: "%4d %s", the yield note, the verbose columns when
// `verbose` is true, and a newline; rows hidden by the command-line crystal
// filter print nothing while `omitCrystals` is true.
void printConsoleList(const MaterialTable *table, bool omitCrystals, bool verbose);

// The dialog's text: "Shopping list:\r\n", then per shown row "%5d\t%s", the
// yield note and "\r\n"; rows hidden by the dialog's crystal filter are left
// out while `omitCrystals` is true.
std::string formatDialogList(const MaterialTable *table, bool omitCrystals);
