// Process-wide state shared by every layer: the settings, the run mode and
// the dialog handle.
#pragma once

// The six on/off settings. All are off at process start; the command line
// turns them on, the dialog copies five of them from its check boxes.
struct Settings {
    bool omitCrystals;         // hide crystals, shards and clusters from the list
    bool dontCraftSoldItems;   // buy ingredients that merchants sell instead of crafting them
    bool craftBeastTribeItems; // still craft sold items of a single beast-tribe vendor
    bool craftMaterialGear;    // still craft sold gear that is used as a material
    bool refreshCache;         // download every item document again
    bool verbose;              // print progress and diagnostic lines
};

extern Settings settings;

// True when the process has no terminal to write to and shows the dialog.
extern bool windowMode;

// The main dialog, as an opaque handle of the window layer; null until the
// dialog exists, and null for good in console mode.
extern void *dialogWindow;

// Puts every value above back to its process-start state (used by tests).
void resetProcessState();
