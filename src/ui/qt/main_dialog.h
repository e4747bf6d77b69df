// The main dialog with Qt: the recipe box, the option boxes, the Generate
// button with its progress bar, and the shopping-list box, placed as the
// dialog template (ui/dialog_template.h) places them.
#pragma once

#include <QDialog>

#include <string>

#include "ui/generate_command.h"

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

// Pixels per dialog unit of a font: the horizontal base unit is the average
// width of the letters A-Z and a-z (rounded to a whole pixel), the vertical
// one the font's height; a horizontal unit is a quarter of the first, a
// vertical unit an eighth of the second.
struct DialogBaseUnits {
    int horizontal;
    int vertical;
};

DialogBaseUnits dialogBaseUnits(const QFont &font);

// A template rectangle (x, y, width, height in dialog units) in pixels. Each
// edge is mapped and rounded on its own, so neighbouring controls that
// share an edge in the template share it in pixels too.
QRect mapDialogRect(const DialogBaseUnits &units, int x, int y, int width, int height);

class MainDialog : public QDialog {
public:
    // Builds the dialog from the template with the initial state: option
    // boxes ticked as the template says, empty text boxes,
    // the bar at 0 and the focus in the recipe box. Makes dialogWindow point
    // to the dialog until it is destroyed.
    MainDialog();
    ~MainDialog() override;

    // The shopping-list box's text exactly as the last generation wrote it,
    // with CR LF line ends (the box itself shows line breaks).
    const std::string &shoppingListText() const { return listText; }

    // The Generate command: reads the option boxes and the recipe box, runs
    // the generation with the progress on the bar and the button, and writes
    // the shopping list, or the first error, into the shopping-list box, or
    // shows the warning that refuses the list. Unticks "Refresh cache" after
    // a completed run. A call made while a generation runs (from a message
    // box opened by it) does nothing.
    void generate();

    // True while generate runs.
    bool generating() const { return running; }

    // The settings that the last Generate read from the option boxes.
    const Settings &lastSettings() const { return chosen; }

protected:
    // Centres the window, frame included, on the screen when it is first
    // shown (the frame is known only then).
    void showEvent(QShowEvent *event) override;

private:
    QCheckBox *checkBox(DialogControlId box) const;

    QLabel *instruction;
    QPlainTextEdit *recipeEdit;
    QCheckBox *omitCrystalsBox;
    QCheckBox *dontCraftSoldBox;
    QCheckBox *craftBeastTribeBox;
    QCheckBox *craftMaterialGearBox;
    QPushButton *generateButton;
    QProgressBar *progressBar;
    QCheckBox *refreshCacheBox;
    QPlainTextEdit *shoppingListEdit;
    std::string listText;
    bool centred = false;
    bool running = false;
    Settings chosen{};
};
