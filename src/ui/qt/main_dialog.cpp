// The main dialog and its event loop.
#include "ui/qt/main_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include "base/process_state.h"
#include "base/version.h"
#include "ui/dialog_template.h"
#include "ui/window_system.h"

DialogBaseUnits dialogBaseUnits(const QFont &font) {
    QFontMetrics metrics(font);
    int alphabetWidth = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // Half of the width per 26 letters, rounded: the width per letter
    // rounded to the nearest pixel.
    return {(alphabetWidth / 26 + 1) / 2, metrics.height()};
}

// value * numerator / denominator rounded to the nearest integer, halves
// away from zero (the template's coordinates are never negative).
static int scaleRounded(int value, int numerator, int denominator) {
    return (value * numerator + denominator / 2) / denominator;
}

QRect mapDialogRect(const DialogBaseUnits &units, int x, int y, int width, int height) {
    int left = scaleRounded(x, units.horizontal, 4);
    int right = scaleRounded(x + width, units.horizontal, 4);
    int top = scaleRounded(y, units.vertical, 8);
    int bottom = scaleRounded(y + height, units.vertical, 8);
    return QRect(left, top, right - left, bottom - top);
}

// A multi-line text box that scrolls sideways instead of wrapping and
// leaves Tab to the focus chain.
static QPlainTextEdit *makeTextBox(QWidget *parent, const char *objectName) {
    auto *box = new QPlainTextEdit(parent);
    box->setObjectName(QString::fromLatin1(objectName));
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setTabChangesFocus(true);
    box->setFocusPolicy(Qt::StrongFocus);
    return box;
}

// An automatic check box that the mouse reaches but the Tab key skips.
static QCheckBox *makeCheckBox(QWidget *parent, const char *objectName, const char *text,
                               bool ticked) {
    auto *box = new QCheckBox(QString::fromUtf8(text), parent);
    box->setObjectName(QString::fromLatin1(objectName));
    box->setFocusPolicy(Qt::ClickFocus);
    box->setChecked(ticked);
    return box;
}

MainDialog::MainDialog()
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("mainDialog"));
    setWindowTitle(QString::fromUtf8(TEMPLATE_CAPTION));
    // The desktop's dialog font at the template's size.
    QFont dialogFont = QApplication::font();
    dialogFont.setPointSize(DIALOG_FONT_POINTS);
    setFont(dialogFont);
    setSizeGripEnabled(false);

    // The controls in template order, which is also the focus order.
    instruction = new QLabel(QString::fromUtf8(INSTRUCTION_TEXT), this);
    instruction->setObjectName(QStringLiteral("instructionLabel"));
    instruction->setWordWrap(true);
    instruction->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    recipeEdit = makeTextBox(this, "recipeEdit");

    omitCrystalsBox = makeCheckBox(this, "omitCrystalsBox", OMIT_CRYSTALS_TEXT, OMIT_CRYSTALS_TICKED);
    dontCraftSoldBox = makeCheckBox(this, "dontCraftSoldBox", DONT_CRAFT_SOLD_TEXT, DONT_CRAFT_SOLD_TICKED);
    craftBeastTribeBox = makeCheckBox(this, "craftBeastTribeBox", CRAFT_BEAST_TRIBE_TEXT, CRAFT_BEAST_TRIBE_TICKED);
    craftMaterialGearBox = makeCheckBox(this, "craftMaterialGearBox", CRAFT_MATERIAL_GEAR_TEXT, CRAFT_MATERIAL_GEAR_TICKED);

    generateButton = new QPushButton(QString::fromUtf8(GENERATE_CAPTION), this);
    generateButton->setObjectName(QStringLiteral("generateButton"));
    generateButton->setAutoDefault(false);
    generateButton->setDefault(false);
    generateButton->setFocusPolicy(Qt::StrongFocus);

    progressBar = new QProgressBar(this);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->setTextVisible(false);
    progressBar->setFocusPolicy(Qt::NoFocus);

    refreshCacheBox = makeCheckBox(this, "refreshCacheBox", REFRESH_CACHE_TEXT, REFRESH_CACHE_TICKED);

    shoppingListEdit = makeTextBox(this, "shoppingListEdit");
    shoppingListEdit->setReadOnly(true);
    shoppingListEdit->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                              Qt::TextSelectableByKeyboard);

    DialogBaseUnits units = dialogBaseUnits(font());
    instruction->setGeometry(mapDialogRect(units, INSTRUCTION_PLACE));
    recipeEdit->setGeometry(mapDialogRect(units, RECIPES_PLACE));
    omitCrystalsBox->setGeometry(mapDialogRect(units, OMIT_CRYSTALS_PLACE));
    dontCraftSoldBox->setGeometry(mapDialogRect(units, DONT_CRAFT_SOLD_PLACE));
    craftBeastTribeBox->setGeometry(mapDialogRect(units, CRAFT_BEAST_TRIBE_PLACE));
    craftMaterialGearBox->setGeometry(mapDialogRect(units, CRAFT_MATERIAL_GEAR_PLACE));
    generateButton->setGeometry(mapDialogRect(units, GENERATE_PLACE));
    progressBar->setGeometry(mapDialogRect(units, PROGRESS_PLACE));
    refreshCacheBox->setGeometry(mapDialogRect(units, REFRESH_CACHE_PLACE));
    shoppingListEdit->setGeometry(mapDialogRect(units, SHOPPING_LIST_PLACE));
    // Tab stops every 32 horizontal dialog units (eight average characters),
    // so the tab between a quantity and its name lines the names up closely.
    int tabStop = mapDialogRect(units, 0, 0, TAB_STOP_UNITS, 0).width();
    recipeEdit->setTabStopDistance(tabStop);
    shoppingListEdit->setTabStopDistance(tabStop);
    setFixedSize(mapDialogRect(units, 0, 0, DIALOG_WIDTH_UNITS, DIALOG_HEIGHT_UNITS).size());

    setTabOrder(recipeEdit, generateButton);
    setTabOrder(generateButton, shoppingListEdit);

    connect(generateButton, &QPushButton::clicked, this, [this] { generate(); });

    recipeEdit->setFocus(Qt::OtherFocusReason);
    dialogWindow = static_cast<QWidget *>(this);
}

MainDialog::~MainDialog() {
    if (dialogWindow == static_cast<QWidget *>(this)) dialogWindow = nullptr;
}

void MainDialog::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (centred) return;
    centred = true;
    QScreen *screen = this->screen();
    if (!screen) return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

QCheckBox *MainDialog::checkBox(DialogControlId box) const {
    switch (box) {
    case IDC_OMIT_CRYSTALS: return omitCrystalsBox;
    case IDC_DONT_CRAFT_SOLD: return dontCraftSoldBox;
    case IDC_CRAFT_BEAST_TRIBE: return craftBeastTribeBox;
    case IDC_CRAFT_MATERIAL_GEAR: return craftMaterialGearBox;
    case IDC_REFRESH_CACHE: return refreshCacheBox;
    default: return nullptr;
    }
}

// The recipe box's text with CR LF line ends: the box keeps line breaks as
// LF, the recipe format and the limit count with CR LF.
static std::string recipeText(const QPlainTextEdit *box) {
    QByteArray bytes = box->toPlainText().toUtf8();
    std::string text;
    text.reserve(static_cast<std::size_t>(bytes.size() + bytes.count('\n')));
    for (char c : bytes) {
        if (c == '\n') text.push_back('\r');
        text.push_back(c);
    }
    return text;
}

void MainDialog::generate() {
    if (running) return;
    running = true;
    progressBar->setValue(0);
    progressBar->repaint();
    for (const OptionBox &option : OPTION_BOXES) chosen.*option.setting = checkBox(option.box)->isChecked();
    GenerateProgress progress{[this](int position, const std::string &caption) {
                                  progressBar->setValue(position);
                                  progressBar->repaint();
                                  generateButton->setText(QString::fromStdString(caption));
                                  generateButton->repaint();
                              },
                              [this] { repaint(); }};
    GenerateResult result = generateShoppingList(chosen, recipeText(recipeEdit), progress);
    if (result.outcome == GENERATE_REFUSED) {
        QString message = QString::fromUtf8(result.text);
        QMessageBox box(QMessageBox::Warning, message, message, QMessageBox::Ok, this);
        box.exec();
    } else {
        listText = result.text;
        shoppingListEdit->setPlainText(QString::fromStdString(listText));
        if (result.outcome == GENERATE_COMPLETED) refreshCacheBox->setChecked(false);
        generateButton->setText(QString::fromUtf8(GENERATE_CAPTION));
        generateButton->repaint();
    }
    running = false;
}

// Shows the main dialog, titled with the program's name and version in
// place of the template's caption, and runs the event loop until the dialog
// asks to quit (Escape, the close box, Close in the window menu).
void runMainDialog() {
    MainDialog dialog;
    dialog.setWindowTitle(QString::fromUtf8(PROGRAM_TITLE_WITH_VERSION));
    QEventLoop loop;
    // Escape, the close box and Close in the window menu all reject the
    // dialog, which ends the loop.
    QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    dialog.show();
    loop.exec();
}
