// Opening and closing a generation.
#include "recipe/generation.h"

void openGeneration(Generation *generation, const Settings &settings, MaterialRecord *storage,
                    char *errorText) {
    generation->settings = settings;
    clearMaterialTable(&generation->table, storage);
    generation->errorText = errorText;
    openItemStore(&generation->store, &generation->settings);
}

void closeGeneration(Generation *generation) { closeItemStore(&generation->store); }
