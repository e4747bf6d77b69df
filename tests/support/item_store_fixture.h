// A test of the item document store against the stand-in on the sample
// world, in a fresh temporary folder with a fresh process state.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/messages.h"
#include "base/process_state.h"
#include "data/http_client.h"
#include "data/item_store.h"
#include "support/standin.h"
#include "support/temp_folder.h"

class ItemStoreFixture : public ::testing::Test {
protected:
    void SetUp() override {
        resetProcessState();
        openHttpClient();
        openItemStore(&store, &settings);
    }
    void TearDown() override {
        closeItemStore(&store);
        closeHttpClient();
        std::free(text);
    }

    // Loads the document of `name` as the first lookup of a generation: its
    // text in `text`, its id in `itemId` (12345 when none was given), what
    // was printed in `printed`. The store takes the service address and the
    // process's settings as they are now.
    int load(const std::string &name) {
        closeItemStore(&store);
        openItemStore(&store, &settings);
        return loadAgain(name);
    }

    // Loads it again in the same generation.
    int loadAgain(const std::string &name) {
        std::free(text);
        text = nullptr;
        itemId = 12345;
        errorText[0] = '\0';
        StdoutCapture capture;
        int result = loadItemDocument(&store, name.c_str(), &text, &itemId, errorText);
        printed = capture.finish();
        return result;
    }

    TempFolder folder;
    Standin standin{DATA_DIR "/sample"};
    ItemStore store{};
    char *text = nullptr;
    int itemId = 0;
    char errorText[ERROR_TEXT_SIZE] = "";
    std::string printed;
};
