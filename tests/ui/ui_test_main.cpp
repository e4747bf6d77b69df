// Runs the window layer's tests with a real application object on the
// offscreen platform, so that no display is needed.
#include <QApplication>

#include <gtest/gtest.h>

#include "data/http_client.h"
#include "data/service.h"
#include "recipe/material_table.h"

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    setTransferTimeLimit(20);
    openHttpClient();
    materialStorage = allocMaterialStorage();
    int result = RUN_ALL_TESTS();
    freeMaterialStorage(materialStorage);
    closeHttpClient();
    return result;
}
