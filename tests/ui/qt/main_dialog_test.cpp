// The main dialog on the offscreen platform: its controls and keyboard
// order, its warnings, and whole generations over documents in a temporary
// cache folder or from the stand-in web service.
#include "ui/qt/main_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/messages.h"
#include "base/process_state.h"
#include "data/core_data.h"
#include "recipe/material_table.h"
#include "support/standin.h"
#include "support/temp_folder.h"
#include "ui/window_system.h"

namespace {

// A small recipe world. Brass Lamp needs 2 Brass Fitting (yield 4), 1 Wind
// Shard and 2 Shardstone; a Brass Fitting needs 3 Zinc Ore and 1 Wind
// Shard. Zinc Ore's name is only in the core data (its object in the
// document begins with its id). Sources: Wind Shard node 306, Shardstone
// node 309, Zinc Ore vendor 1001234, Brass Fitting none.
const char BRASS_LAMP[] =
    R"({"item":{"name":"Brass Lamp","id":"100","ilvl":20,"craft":[{"id":"30100","job":3,)"
    R"("rlvl":20,"ingredients":[{"id":101,"amount":2},{"id":102,"amount":1},)"
    R"({"id":103,"amount":2}]}]},"ingredients":[{"name":"Brass Fitting","id":101,"ilvl":15},)"
    R"({"name":"Wind Shard","id":102,"ilvl":1},{"name":"Shardstone","id":103,"ilvl":8}],)"
    R"("related":[]})";
const char BRASS_FITTING[] =
    R"({"item":{"name":"Brass Fitting","id":"101","ilvl":15,"craft":[{"id":"30101","job":1,)"
    R"("rlvl":15,"yield":4,"ingredients":[{"id":104,"amount":3},{"id":102,"amount":1}]}]},)"
    R"("ingredients":[{"id":104,"name":"Zinc Ore","ilvl":5},)"
    R"({"name":"Wind Shard","id":102,"ilvl":1}],"related":[]})";
const char WIND_SHARD[] =
    R"({"item":{"name":"Wind Shard","id":"102","ilvl":1,"nodes":[306]},"related":[]})";
const char SHARDSTONE[] =
    R"({"item":{"name":"Shardstone","id":"103","ilvl":8,"nodes":[309]},"related":[]})";
const char ZINC_ORE[] =
    R"({"item":{"name":"Zinc Ore","id":"104","ilvl":5,"vendors":[1001234]},"related":[]})";
// A recipe whose ingredient list never ends: the template report "3".
const char BROKEN_RECIPE[] =
    R"({"item":{"name":"Broken Recipe","id":"105","craft":[{"job":1,)"
    R"("ingredients":[{"id":101,"amount":1}})";

const char CORE_DATA[] = R"("ingredients":{"104":{"name":"Zinc Ore","cat":41}})";

// Brass Lamp 3 (or three lines of Brass Lamp 1), sorted by source.
const char BRASS_LAMP_3_ALL[] = "Shopping list:\r\n"
                                "    5\tWind Shard\r\n"
                                "    6\tShardstone\r\n"
                                "    6\tZinc Ore\r\n"
                                "    2\tBrass Fitting (2 x 4 for 6)\r\n";
const char BRASS_LAMP_3_NO_CRYSTALS[] = "Shopping list:\r\n"
                                        "    6\tShardstone\r\n"
                                        "    6\tZinc Ore\r\n"
                                        "    2\tBrass Fitting (2 x 4 for 6)\r\n";

// Records each caption that the button paints with while a generation
// runs (or, with `always`, at any time), once per change.
class CaptionRecorder : public QObject {
public:
    explicit CaptionRecorder(QPushButton *button, bool always = false) : button(button), always(always) {
        button->installEventFilter(this);
    }
    ~CaptionRecorder() override { button->removeEventFilter(this); }
    std::vector<std::string> captions;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched == button && event->type() == QEvent::Paint && (always || static_cast<MainDialog *>(button->window())->generating())) {
            std::string caption = button->text().toStdString();
            if (captions.empty() || captions.back() != caption) captions.push_back(caption);
        }
        return false;
    }

private:
    QPushButton *button;
    bool always;
};

// What a modal message box showed before it was dismissed.
struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool ownedByDialog = false;
};

// Presses OK on every modal message box that opens while it exists (its
// timer runs in the event loop of the open box) and records each box; runs
// `whileFirstOpen` while the first one is open.
class ModalBoxDismisser : public QObject {
public:
    explicit ModalBoxDismisser(std::function<void()> whileFirstOpen = {})
        : whileFirstOpen(std::move(whileFirstOpen)) {
        connect(&timer, &QTimer::timeout, this, [this] { poll(); });
        timer.start(10);
    }
    std::vector<SeenBox> boxes;

private:
    void poll() {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || box == handling) return;
        handling = box;
        boxes.push_back({box->windowTitle(), box->text(), box->icon(),
                         box->parentWidget() != nullptr &&
                             box->parentWidget() == static_cast<QWidget *>(dialogWindow)});
        if (boxes.size() == 1 && whileFirstOpen) whileFirstOpen();
        box->button(QMessageBox::Ok)->click();
    }

    std::function<void()> whileFirstOpen;
    QPointer<QMessageBox> handling; // null again once that box is gone
    QTimer timer;
};

class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = std::make_unique<TempFolder>();
        useCoreData(CORE_DATA);
        dialog = std::make_unique<MainDialog>();
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    }

    void TearDown() override {
        dialog.reset();
        freeCoreData();
        setMessageBoxHooks(nullptr);
        folder.reset();
        resetProcessState();
    }

    template <typename T> T *control(const char *name) {
        T *found = dialog->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QPlainTextEdit *recipeBox() { return control<QPlainTextEdit>("recipeEdit"); }
    QPlainTextEdit *listBox() { return control<QPlainTextEdit>("shoppingListEdit"); }
    QPushButton *button() { return control<QPushButton>("generateButton"); }
    QProgressBar *bar() { return control<QProgressBar>("progressBar"); }
    QCheckBox *box(const char *name) { return control<QCheckBox>(name); }

    static void cacheBrassLampWorld() {
        writeFile("cache/Brass Lamp", BRASS_LAMP);
        writeFile("cache/Brass Fitting", BRASS_FITTING);
        writeFile("cache/Wind Shard", WIND_SHARD);
        writeFile("cache/Shardstone", SHARDSTONE);
        writeFile("cache/Zinc Ore", ZINC_ORE);
    }

    // Puts `recipes` into the recipe box and presses Generate.
    void generate(const std::string &recipes) {
        recipeBox()->setPlainText(QString::fromStdString(recipes));
        // Paint what is pending first, so that only the run's own paints
        // follow.
        QApplication::processEvents();
        button()->click();
    }

    std::unique_ptr<TempFolder> folder;
    std::unique_ptr<MainDialog> dialog;
};

TEST_F(MainDialogTest, ControlsHaveTheTemplateTextsAndInitialState) {
    EXPECT_TRUE(control<QLabel>("instructionLabel")
                    ->text()
                    .startsWith("Paste your recipe list below to generate a shopping list. If you "
                                "need more than one (1) item, type the quantity after the item "
                                "name,"));
    struct Row {
        const char *name;
        const char *text;
        bool ticked;
    } rows[] = {
        {"omitCrystalsBox", "Omit crystals", true},
        {"dontCraftSoldBox", "Don't craft items sold by merchants", true},
        {"craftBeastTribeBox", "Craft beast tribe items", true},
        {"craftMaterialGearBox", "Craft material gear", true},
        {"refreshCacheBox", "Refresh cache", false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        QCheckBox *checkBox = box(row.name);
        ASSERT_NE(checkBox, nullptr);
        EXPECT_EQ(checkBox->text().toStdString(), row.text);
        EXPECT_EQ(checkBox->isChecked(), row.ticked);
        EXPECT_FALSE(checkBox->isTristate());
        EXPECT_FALSE(checkBox->focusPolicy() & Qt::TabFocus);
    }
    EXPECT_EQ(button()->text(), "Generate");
    EXPECT_FALSE(button()->isDefault());
    EXPECT_FALSE(button()->autoDefault());
    EXPECT_EQ(bar()->minimum(), 0);
    EXPECT_EQ(bar()->maximum(), 100);
    EXPECT_EQ(bar()->value(), 0);
    EXPECT_FALSE(bar()->isTextVisible());
    EXPECT_TRUE(recipeBox()->toPlainText().isEmpty());
    EXPECT_FALSE(recipeBox()->isReadOnly());
    EXPECT_EQ(recipeBox()->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_TRUE(listBox()->toPlainText().isEmpty());
    EXPECT_TRUE(listBox()->isReadOnly());
    EXPECT_EQ(listBox()->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(QApplication::focusWidget(), recipeBox());
    EXPECT_EQ(dialogWindow, static_cast<void *>(static_cast<QWidget *>(dialog.get())));
}

TEST_F(MainDialogTest, WindowIsFixedWithOnlyACloseBox) {
    Qt::WindowFlags flags = dialog->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowContextHelpButtonHint);
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
    EXPECT_EQ(dialog->size(), dialog->minimumSize());
}

TEST_F(MainDialogTest, ControlsLieInsideTheWindowWithoutOverlapping) {
    const char *names[] = {"instructionLabel", "recipeEdit",      "omitCrystalsBox",
                           "dontCraftSoldBox", "craftBeastTribeBox", "craftMaterialGearBox",
                           "generateButton",   "progressBar",     "refreshCacheBox",
                           "shoppingListEdit"};
    std::vector<QRect> rects;
    for (const char *name : names) {
        QWidget *widget = control<QWidget>(name);
        ASSERT_NE(widget, nullptr);
        rects.push_back(widget->geometry());
        SCOPED_TRACE(name);
        EXPECT_TRUE(dialog->rect().contains(widget->geometry()));
        EXPECT_FALSE(widget->geometry().isEmpty());
    }
    // The instruction line reaches one dialog unit into the recipe box, as
    // in the template; every other pair is apart.
    EXPECT_LT(rects[0].top(), rects[1].top());
    for (std::size_t i = 0; i < rects.size(); ++i)
        for (std::size_t j = std::max<std::size_t>(i + 1, 2); j < rects.size(); ++j) {
            SCOPED_TRACE(std::string(names[i]) + " and " + names[j]);
            EXPECT_FALSE(rects[i].intersects(rects[j]));
        }
    // The template's rows: the four options on one line, the refresh box
    // between the button and the bar.
    EXPECT_EQ(rects[2].top(), rects[3].top());
    EXPECT_EQ(rects[3].top(), rects[5].top());
    EXPECT_LT(rects[6].right(), rects[8].left());
    EXPECT_LT(rects[8].right(), rects[7].left());
    EXPECT_LT(rects[1].bottom(), rects[2].top());
    EXPECT_LT(rects[7].bottom(), rects[9].top());
}

TEST_F(MainDialogTest, DialogUnitsFollowTheFont) {
    struct Row {
        DialogBaseUnits units;
        int x, y, w, h;
        QRect pixels;
    } rows[] = {
        {{6, 13}, 424, 427, 0, 0, QRect(636, 694, 0, 0)},
        {{6, 13}, 0, 0, 424, 427, QRect(0, 0, 636, 694)},
        {{6, 13}, 3, 12, 418, 160, QRect(5, 20, 627, 260)},
        {{7, 16}, 121, 196, 298, 14, QRect(212, 392, 521, 28)},
        {{8, 16}, 1, 1, 1, 1, QRect(2, 2, 2, 2)},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::to_string(row.x) + "," + std::to_string(row.y));
        EXPECT_EQ(mapDialogRect(row.units, row.x, row.y, row.w, row.h), row.pixels);
    }
}

TEST_F(MainDialogTest, TabMovesThroughRecipesGenerateAndList) {
    struct Row {
        Qt::Key key;
        const char *from;
        const char *to;
    } rows[] = {
        {Qt::Key_Tab, "recipeEdit", "generateButton"},
        {Qt::Key_Tab, "generateButton", "shoppingListEdit"},
        {Qt::Key_Tab, "shoppingListEdit", "recipeEdit"},
        {Qt::Key_Backtab, "recipeEdit", "shoppingListEdit"},
        {Qt::Key_Backtab, "shoppingListEdit", "generateButton"},
        {Qt::Key_Backtab, "generateButton", "recipeEdit"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.from) + " -> " + row.to);
        ASSERT_EQ(QApplication::focusWidget()->objectName().toStdString(), row.from);
        QTest::keyClick(QApplication::focusWidget(), row.key);
        EXPECT_EQ(QApplication::focusWidget()->objectName().toStdString(), row.to);
    }
    EXPECT_TRUE(recipeBox()->toPlainText().isEmpty()) << "Tab must not be typed";
}

TEST_F(MainDialogTest, ReturnInTheRecipeBoxStartsANewLine) {
    QTest::keyClicks(recipeBox(), "Brass Lamp 1");
    QTest::keyClick(recipeBox(), Qt::Key_Return);
    QTest::keyClicks(recipeBox(), "Wind Shard 2");
    EXPECT_EQ(recipeBox()->toPlainText(), "Brass Lamp 1\nWind Shard 2");
    EXPECT_TRUE(listBox()->toPlainText().isEmpty());
    EXPECT_EQ(bar()->value(), 0);
}

TEST_F(MainDialogTest, LongRecipeLinesScrollSidewaysInsteadOfWrapping) {
    recipeBox()->setPlainText(QString(2000, 'x'));
    recipeBox()->moveCursor(QTextCursor::End);
    QApplication::processEvents();
    EXPECT_EQ(recipeBox()->document()->lineCount(), 1);
    EXPECT_GT(recipeBox()->horizontalScrollBar()->value(), 0);
}

TEST_F(MainDialogTest, ListBoxIsReadOnlyButSelectableAndCopyable) {
    cacheBrassLampWorld();
    generate("Brass Lamp 3");
    ASSERT_EQ(dialog->shoppingListText(), BRASS_LAMP_3_NO_CRYSTALS);
    QTest::keyClick(recipeBox(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), listBox());
    QTest::keyClicks(listBox(), "typed");
    QTest::keyClick(listBox(), Qt::Key_Delete);
    QString shown = QString(BRASS_LAMP_3_NO_CRYSTALS).replace("\r\n", "\n");
    EXPECT_EQ(listBox()->toPlainText(), shown);
    QApplication::clipboard()->clear();
    QTest::keySequence(listBox(), QKeySequence::SelectAll);
    QTest::keySequence(listBox(), QKeySequence::Copy);
    EXPECT_EQ(QApplication::clipboard()->text(), shown);
}

TEST_F(MainDialogTest, RefusedListsShowAWarningAndChangeNothingElse) {
    cacheBrassLampWorld();
    std::string justTooBig = "Brass Lamp 1" + std::string(499994, '\n'); // 12 + 2 * 499994 bytes
    struct Row {
        const char *label;
        std::string recipes;
        const char *warning;
    } rows[] = {
        {"empty", "", "Recipe list empty"},
        {"1000000 bytes with CR LF line ends", justTooBig, "Recipe list too big"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        generate("Brass Lamp 3"); // leaves a list, the bar at 99 and settings as ticked
        ASSERT_EQ(bar()->value(), 99);
        box("refreshCacheBox")->setChecked(true);
        box("omitCrystalsBox")->setChecked(false);
        std::vector<int> barValues;
        QMetaObject::Connection watch = QObject::connect(
            bar(), &QProgressBar::valueChanged, [&](int value) { barValues.push_back(value); });
        CaptionRecorder captions(button(), true);
        QString captionWhileOpen;
        ModalBoxDismisser dismisser([&] { captionWhileOpen = button()->text(); });
        generate(row.recipes);
        QObject::disconnect(watch);
        ASSERT_EQ(dismisser.boxes.size(), 1u);
        const SeenBox &seen = dismisser.boxes[0];
        EXPECT_EQ(seen.text.toStdString(), row.warning);
        EXPECT_EQ(seen.title.toStdString(), row.warning);
        EXPECT_EQ(seen.icon, QMessageBox::Warning);
        EXPECT_TRUE(seen.ownedByDialog);
        EXPECT_EQ(barValues, std::vector<int>{0});
        // The button may repaint, but never with a progress caption.
        EXPECT_EQ(captionWhileOpen, "Generate");
        EXPECT_EQ(std::count(captions.captions.begin(), captions.captions.end(), "Generate"),
                  static_cast<std::ptrdiff_t>(captions.captions.size()));
        EXPECT_EQ(button()->text(), "Generate");
        EXPECT_EQ(dialog->shoppingListText(), BRASS_LAMP_3_NO_CRYSTALS);
        EXPECT_TRUE(box("refreshCacheBox")->isChecked());
        // The options are read before the list is looked at.
        EXPECT_TRUE(dialog->lastSettings().refreshCache);
        EXPECT_FALSE(dialog->lastSettings().omitCrystals);
        box("refreshCacheBox")->setChecked(false);
        box("omitCrystalsBox")->setChecked(true);
    }
}

TEST_F(MainDialogTest, ListOf999999BytesIsAccepted) {
    cacheBrassLampWorld();
    // 13 bytes and 499993 line breaks of 2 bytes: one line.
    std::string recipes = "Brass Lamp 11" + std::string(499993, '\n');
    CaptionRecorder captions(button());
    generate(recipes);
    EXPECT_EQ(captions.captions, (std::vector<std::string>{"49%", "99%", "Generate"}));
    EXPECT_EQ(dialog->shoppingListText().substr(0, 30), "Shopping list:\r\n   22\tShardsto");
}

// Every list is made twice in a row: the second run starts from a fresh
// table and gives the same text.
TEST_F(MainDialogTest, CompletedGenerationWritesTheSortedList) {
    cacheBrassLampWorld();
    struct Row {
        const char *label;
        std::string recipes;
        bool omitCrystals;
        std::string list;
    } rows[] = {
        {"crystals omitted: ' Shard' hidden, 'Shardstone' shown", "Brass Lamp 3", true,
         BRASS_LAMP_3_NO_CRYSTALS},
        {"crystals shown", "Brass Lamp 3", false, BRASS_LAMP_3_ALL},
        {"three lines add up like one", "Brass Lamp 1\r\nBrass Lamp 1\r\n\r\nBrass Lamp 1\r\n",
         false, BRASS_LAMP_3_ALL},
        {"two lines add up like one", "Brass Lamp 1\r\nBrass Lamp 2", false, BRASS_LAMP_3_ALL},
        {"blanks before the quantity", "Brass Lamp    2", true,
         "Shopping list:\r\n    4\tShardstone\r\n    3\tZinc Ore\r\n"
         "    1\tBrass Fitting (1 x 4 for 4)\r\n"},
        {"wide numbers take the room they need", "Brass Lamp 50000", true,
         "Shopping list:\r\n100000\tShardstone\r\n75000\tZinc Ore\r\n"
         "25000\tBrass Fitting (25000 x 4 for 100000)\r\n"},
        {"quantity 0 adds empty rows", "Brass Lamp 0", false,
         "Shopping list:\r\n    0\tBrass Fitting (0 x 4 for 0)\r\n    0\tWind Shard\r\n"
         "    0\tShardstone\r\n"},
        {"only line breaks", "\n\n\n", true, "Shopping list:\r\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        box("omitCrystalsBox")->setChecked(row.omitCrystals);
        box("refreshCacheBox")->setChecked(false);
        int firstSequences = 0;
        for (int run = 1; run <= 2; ++run) {
            SCOPED_TRACE("run " + std::to_string(run));
            generate(row.recipes);
            EXPECT_EQ(dialog->shoppingListText(), row.list);
            QString shown = QString::fromStdString(row.list).replace("\r\n", "\n");
            EXPECT_EQ(listBox()->toPlainText().toStdString(), shown.toStdString());
            EXPECT_EQ(bar()->value(), 99);
            EXPECT_EQ(button()->text(), "Generate");
            EXPECT_EQ(dialog->lastSettings().omitCrystals, row.omitCrystals);
            // The rows stay in the storage after a generation: the
            // highest creation number of the second run is the first's.
            int highest = -1;
            for (int i = 0; i < MATERIAL_TABLE_ROWS && materialStorage[i].name[0]; ++i)
                highest = std::max(highest, static_cast<int>(materialStorage[i].sequence));
            if (run == 1) firstSequences = highest;
            EXPECT_EQ(highest, firstSequences);
        }
    }
}

TEST_F(MainDialogTest, OptionBoxesAreCopiedIntoTheSettings) {
    cacheBrassLampWorld();
    struct Row {
        bool omit, dontCraft, beastTribe, materialGear;
    } rows[] = {
        {true, true, true, true},
        {false, true, false, true},
        {true, false, true, false},
        {false, false, false, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::to_string(row.omit) + std::to_string(row.dontCraft) +
                     std::to_string(row.beastTribe) + std::to_string(row.materialGear));
        box("omitCrystalsBox")->setChecked(row.omit);
        box("dontCraftSoldBox")->setChecked(row.dontCraft);
        box("craftBeastTribeBox")->setChecked(row.beastTribe);
        box("craftMaterialGearBox")->setChecked(row.materialGear);
        // The window has no verbose mode, whatever the process's setting:
        // the generation prints its dots and nothing else.
        settings.verbose = true;
        StdoutCapture capture;
        generate("Brass Lamp 1");
        std::string printed = capture.finish();
        EXPECT_FALSE(printed.empty());
        EXPECT_EQ(printed, std::string(printed.size(), '.'));
        EXPECT_EQ(dialog->lastSettings().omitCrystals, row.omit);
        EXPECT_EQ(dialog->lastSettings().dontCraftSoldItems, row.dontCraft);
        EXPECT_EQ(dialog->lastSettings().craftBeastTribeItems, row.beastTribe);
        EXPECT_EQ(dialog->lastSettings().craftMaterialGear, row.materialGear);
        EXPECT_FALSE(dialog->lastSettings().refreshCache);
        // Nothing but the refresh box is changed by a generation.
        EXPECT_EQ(box("omitCrystalsBox")->isChecked(), row.omit);
        EXPECT_EQ(box("dontCraftSoldBox")->isChecked(), row.dontCraft);
    }
}

TEST_F(MainDialogTest, ProgressAndCaptionsDuringARun) {
    cacheBrassLampWorld();
    struct Row {
        const char *label;
        std::string recipes;
        std::vector<int> barValues;
        std::vector<std::string> captions;
    } rows[] = {
        {"one line", "Brass Lamp 1", {0, 49, 99}, {"49%", "99%", "Generate"}},
        {"three lines",
         "Brass Lamp 1\r\nBrass Lamp 1\r\nBrass Lamp 1",
         {0, 24, 49, 74, 99},
         {"24%", "49%", "74%", "99%", "Generate"}},
        {"blank lines are not counted",
         "\r\nBrass Lamp 1\r\n\r\n\n\rBrass Lamp 1\r\n\r\nBrass Lamp 1\r\n",
         {0, 24, 49, 74, 99},
         {"24%", "49%", "74%", "99%", "Generate"}},
        {"no lines", "\r\n", {0, 99}, {"99%", "Generate"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        // Start every run from a bar that is not at 0, so its reset is seen.
        bar()->setValue(7);
        std::vector<int> barValues;
        QMetaObject::Connection watch = QObject::connect(
            bar(), &QProgressBar::valueChanged, [&](int value) { barValues.push_back(value); });
        CaptionRecorder captions(button());
        generate(row.recipes);
        QObject::disconnect(watch);
        EXPECT_EQ(barValues, row.barValues);
        EXPECT_EQ(captions.captions, row.captions);
    }
}

TEST_F(MainDialogTest, GenerateWhileATemplateReportIsOpenIsIgnored) {
    cacheBrassLampWorld();
    writeFile("cache/Broken Recipe", BROKEN_RECIPE);
    static int argc = 1;
    static char name[] = "ui_tests";
    static char *argv[] = {name, nullptr};
    installConsoleMessageBoxes(argc, argv);
    windowMode = true;
    std::vector<int> barValues;
    QObject::connect(bar(), &QProgressBar::valueChanged,
                     [&](int value) { barValues.push_back(value); });
    bool runningWhileOpen = false;
    ModalBoxDismisser dismisser([&] {
        runningWhileOpen = dialog->generating();
        button()->click();
    });
    generate("Brass Lamp 1\r\nBroken Recipe 1\r\nBrass Lamp 1");
    ASSERT_EQ(dismisser.boxes.size(), 1u);
    EXPECT_EQ(dismisser.boxes[0].title, "CorvaneDB template changed. Message:");
    EXPECT_EQ(dismisser.boxes[0].text, "3");
    EXPECT_EQ(dismisser.boxes[0].icon, QMessageBox::NoIcon);
    EXPECT_FALSE(dismisser.boxes[0].ownedByDialog);
    EXPECT_TRUE(runningWhileOpen);
    EXPECT_FALSE(dialog->generating());
    EXPECT_EQ(barValues, (std::vector<int>{24, 49}));
    EXPECT_EQ(dialog->shoppingListText(),
              "Error while getting recipe [Broken Recipe]: CorvaneDB template changed. "
              "Message: [3].\n\r\n");
}

// Counts the paint events of one widget.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget *widget) : widget(widget) { widget->installEventFilter(this); }
    ~PaintCounter() override { widget->removeEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched == widget && event->type() == QEvent::Paint) ++paints;
        return false;
    }

private:
    QWidget *widget;
};

TEST_F(MainDialogTest, EveryExpansionStepRepaintsTheWholeDialog) {
    cacheBrassLampWorld();
    static int argc = 1;
    static char name[] = "ui_tests";
    static char *argv[] = {name, nullptr};
    installConsoleMessageBoxes(argc, argv);
    recipeBox()->setPlainText("Brass Lamp 1\r\nBrass Lamp 2");
    QApplication::processEvents();
    // The instruction line and the recipe box do not change during a run:
    // only the redraw requests paint them. The expansion prints one dot per
    // step.
    PaintCounter instructionPaints(control<QWidget>("instructionLabel"));
    PaintCounter recipePaints(recipeBox());
    StdoutCapture output;
    button()->click();
    std::string dots = output.finish();
    EXPECT_EQ(dialog->shoppingListText(), BRASS_LAMP_3_NO_CRYSTALS);
    ASSERT_GT(dots.size(), 2u);
    EXPECT_EQ(dots, std::string(dots.size(), '.'));
    EXPECT_EQ(instructionPaints.paints, static_cast<int>(dots.size()));
    EXPECT_EQ(recipePaints.paints, static_cast<int>(dots.size()));
}

// Generations whose documents come from the stand-in web service.
class MainDialogWebTest : public MainDialogTest {
protected:
    static void SetUpTestSuite() { service = std::make_unique<Standin>(DATA_DIR "/sample"); }
    static void TearDownTestSuite() { service.reset(); }
    static std::unique_ptr<Standin> service;
};

std::unique_ptr<Standin> MainDialogWebTest::service;

TEST_F(MainDialogWebTest, RefreshedRunDownloadsTheDocumentsAndUnticksRefresh) {
    service->clearLog();
    box("refreshCacheBox")->setChecked(true);
    generate("Bronze Rivets 2");
    EXPECT_EQ(dialog->shoppingListText(), "Shopping list:\r\n"
                                          "    6\tCopper Ore\r\n"
                                          "    2\tTin Ore\r\n"
                                          "    2\tBronze Ingot\r\n");
    EXPECT_FALSE(box("refreshCacheBox")->isChecked());
    EXPECT_TRUE(dialog->lastSettings().refreshCache);
    std::vector<std::string> requests = service->requests();
    for (const char *document : {"/db/doc/item/en/3/2012.json", "/db/doc/item/en/3/2011.json",
                                 "/db/doc/item/en/3/2001.json", "/db/doc/item/en/3/2002.json",
                                 "/db/doc/item/en/3/2003.json"}) {
        SCOPED_TRACE(document);
        EXPECT_NE(std::find(requests.begin(), requests.end(), document), requests.end());
    }
    EXPECT_TRUE(fileExists("cache/Bronze Ingot"));
}

// A line that fails ends the run with its error line only, after the lines
// before it were expanded; the refresh box keeps its tick.
TEST_F(MainDialogWebTest, FailedLineShowsOnlyItsErrorLine) {
    cacheBrassLampWorld();
    const std::string longName(120, 'L');
    const std::string badName = "Error while getting recipe [Bad/Name]: ";
    const std::string badNameDetail = "Error opening cache file for [Bad/Name]";
    const std::string noName = "]: No item name on this line\r\n";
    struct Row {
        const char *label;
        std::string recipes;
        bool refreshTicked;
        int barAfter;
        std::string start;        // the error line's start (or all of it), up to the failing call's text
        std::string detail;       // in the failing call's text
        const char *cachedAfter;  // a document that an earlier line downloaded
    } rows[] = {
        {"second of three lines, name cut before the quantity", "Brass Lamp 1\r\nBad/Name   2\r\nBrass Lamp 1",
         false, 49, badName, badNameDetail, nullptr},
        {"first of three lines", "Bad/Name 2\r\nBrass Lamp 1\r\nBrass Lamp 1", false, 24, badName, badNameDetail,
         nullptr},
        {"refresh box stays ticked", "Bad/Name 2", true, 49, badName, badNameDetail, nullptr},
        {"second line after a download", "Bronze Rivets 1\r\nBad/Name   2\r\nBronze Rivets 1", true, 49, badName,
         badNameDetail, "cache/Bronze Rivets"},
        {"name longer than 99 bytes", "Brass Lamp 1\r\n" + longName + " 2", false, 65,
         "Error while getting recipe [" + longName + "]: ", "too long", nullptr},
        {"only digits", "42", true, 49, "Error while getting recipe [42" + noName, "", nullptr},
        {"only blanks", "Brass Lamp 1\r\n   ", false, 65, "Error while getting recipe [   " + noName, "", nullptr},
        {"blanks and digits between two items", "Brass Lamp 1\r\n  7\r\nBrass Lamp 1", false, 49,
         "Error while getting recipe [  7" + noName, "", nullptr},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        box("refreshCacheBox")->setChecked(row.refreshTicked);
        CaptionRecorder captions(button());
        generate(row.recipes);
        const std::string &text = dialog->shoppingListText();
        EXPECT_EQ(text.substr(0, row.start.size()), row.start);
        EXPECT_NE(text.find(row.detail, row.start.size()), std::string::npos) << text;
        // One line only: no rows of the lines before, one CR LF at the end.
        EXPECT_EQ(text.find("\r\n"), text.size() - 2) << text;
        EXPECT_EQ(text.find("Shopping list:"), std::string::npos);
        EXPECT_EQ(bar()->value(), row.barAfter);
        ASSERT_FALSE(captions.captions.empty());
        EXPECT_EQ(captions.captions.back(), "Generate");
        EXPECT_EQ(button()->text(), "Generate");
        EXPECT_EQ(box("refreshCacheBox")->isChecked(), row.refreshTicked);
        if (row.cachedAfter) {
            EXPECT_TRUE(fileExists(row.cachedAfter));
        }
    }
}

// runMainDialog on its own: the title, the position and the ways to close.
TEST(RunMainDialog, EscapeAndTheCloseBoxEndTheLoop) {
    struct Row {
        const char *label;
        std::function<void(QWidget *)> close;
    } rows[] = {
        {"Escape in the recipe box",
         [](QWidget *) { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); }},
        {"Escape in the list box",
         [](QWidget *window) {
             QWidget *list = window->findChild<QWidget *>("shoppingListEdit");
             list->setFocus();
             QTest::keyClick(list, Qt::Key_Escape);
         }},
        {"close box", [](QWidget *window) { window->close(); }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        resetProcessState();
        TempFolder folder;
        QString title;
        bool focusInRecipes = false;
        QPoint offCentre(-1000, -1000);
        QTimer inspect;
        inspect.setSingleShot(true);
        QObject::connect(&inspect, &QTimer::timeout, [&] {
            auto *window = static_cast<QWidget *>(dialogWindow);
            if (!window) return;
            EXPECT_TRUE(QTest::qWaitForWindowActive(window));
            title = window->windowTitle();
            QWidget *focus = QApplication::focusWidget();
            focusInRecipes = focus && focus->objectName() == "recipeEdit";
            offCentre = window->frameGeometry().center() -
                        window->screen()->availableGeometry().center();
            row.close(window);
        });
        inspect.start(0);
        // Should the dialog not close, this ends the loop and the test fails.
        bool forced = false;
        QTimer rescue;
        rescue.setSingleShot(true);
        QObject::connect(&rescue, &QTimer::timeout, [&] {
            if (auto *window = static_cast<QWidget *>(dialogWindow)) {
                forced = true;
                static_cast<QDialog *>(window)->done(0);
            }
        });
        rescue.start(10000);
        runMainDialog();
        EXPECT_FALSE(forced);
        EXPECT_EQ(dialogWindow, nullptr);
        EXPECT_EQ(title.toStdString(), "TAVRO Shopping list generator by DURSK Alpha 7");
        EXPECT_TRUE(focusInRecipes);
        EXPECT_LE(std::abs(offCentre.x()), 1);
        EXPECT_LE(std::abs(offCentre.y()), 1);
    }
}

} // namespace
