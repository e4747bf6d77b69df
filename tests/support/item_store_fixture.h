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
    }
    void TearDown() override {
        closeHttpClient();
        std::free(text);
    }

    // Loads the document of `name`: its text in `text`, its id in `itemId`
    // (12345 when none was given), what was printed in `printed`.
    int load(const std::string &name) {
        std::free(text);
        text = nullptr;
        itemId = 12345;
        errorText[0] = '\0';
        StdoutCapture capture;
        int result = loadItemDocument(name.c_str(), &text, &itemId, errorText);
        printed = capture.finish();
        return result;
    }

    TempFolder folder;
    Standin standin{DATA_DIR "/sample"};
    char *text = nullptr;
    int itemId = 0;
    char errorText[ERROR_TEXT_SIZE] = "";
    std::string printed;
};
