// A generation for tests of the table, the expansion and the generation run:
// storage of its own, an error text, and the process's settings.
#pragma once

#include "base/messages.h"
#include "base/process_state.h"
#include "recipe/generation.h"

class TestGeneration {
public:
    TestGeneration() : storage(allocMaterialStorage()) { open(); }
    ~TestGeneration() {
        closeGeneration(&generation);
        freeMaterialStorage(storage);
    }
    TestGeneration(const TestGeneration &) = delete;
    TestGeneration &operator=(const TestGeneration &) = delete;

    // Ends this generation and begins a fresh one: cleared rows, nothing
    // remembered, the process's settings as they are now.
    void reopen() {
        closeGeneration(&generation);
        open();
    }

    // Takes the process's settings as they are now into the running
    // generation (tests set them between calls).
    void takeSettings() { generation.settings = settings; }

    MaterialRecord *storage;
    Generation generation;
    char errorText[ERROR_TEXT_SIZE] = "";

private:
    void open() {
        errorText[0] = '\0';
        openGeneration(&generation, settings, storage, errorText);
    }
};
