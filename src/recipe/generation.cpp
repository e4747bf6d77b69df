// Opening and closing a generation, and telling how far it is.
#include "recipe/generation.h"

#include <utility>

void openGeneration(Generation *generation, const Settings &settings, MaterialRecord *storage,
                    char *errorText, GenerationProgress progress) {
    generation->settings = settings;
    clearMaterialTable(&generation->table, storage);
    generation->errorText = errorText;
    generation->progress = std::move(progress);
    generation->itemsDone = 0;
    openItemStore(&generation->store, &generation->settings);
}

void closeGeneration(Generation *generation) { closeItemStore(&generation->store); }

void reportGenerationStep(Generation *generation) {
    if (generation->progress) generation->progress(generation->itemsDone);
}
