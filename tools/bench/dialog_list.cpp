// Runs one generation in the real dialog (offscreen) for a recipe list file
// and writes the shopping-list box's text, byte for byte, into OUTPUT: the
// dialog's side of tools/bench/compare_runs.py. With --all-off every option
// box is unticked; otherwise the dialog keeps its defaults.
#include <QApplication>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "data/core_data.h"
#include "data/http_client.h"
#include "recipe/material_table.h"
#include "ui/qt/main_dialog.h"

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: dialog_list LIST OUTPUT [--all-off]\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::ostringstream list;
    list << in.rdbuf();
    bool allOff = argc > 3 && std::string(argv[3]) == "--all-off";
    int appArgc = 1;
    QApplication application(appArgc, argv);
    openHttpClient();
    materialStorage = allocMaterialStorage();
    if (!loadCoreData()) return 1;
    {
        MainDialog dialog;
        if (allOff)
            for (QCheckBox *box : dialog.findChildren<QCheckBox *>()) box->setChecked(false);
        dialog.findChild<QPlainTextEdit *>("recipeEdit")->setPlainText(QString::fromStdString(list.str()));
        dialog.findChild<QPushButton *>("generateButton")->click();
        std::string text = dialog.shoppingListText();
        std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
        out << text;
    }
    freeCoreData();
    freeMaterialStorage(materialStorage);
    closeHttpClient();
    return 0;
}
