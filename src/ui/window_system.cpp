// The application object and the message boxes that the core shows.
#include <QApplication>
#include <QMessageBox>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

#include "base/messages.h"
#include "base/process_state.h"
#include "ui/window_system.h"

// The application object sees the program's name only: the window ignores
// the command line, and the toolkit would otherwise act on options of its
// own such as -reverse or -style.
static int applicationArgc = 1;
static char *applicationArgv[2] = {nullptr, nullptr};
static QApplication *application = nullptr;

static void keepProgramName(char **argv) {
    static char fallbackName[] = "shopping-list";
    applicationArgv[0] = argv && argv[0] ? argv[0] : fallbackName;
}

static void ensureApplication() {
    if (!applicationArgv[0]) keepProgramName(nullptr);
    if (!QApplication::instance()) application = new QApplication(applicationArgc, applicationArgv);
}

static void showInformationBox(const char *text) {
    ensureApplication();
    QMessageBox box(QMessageBox::Information, QStringLiteral("Message"), QString::fromUtf8(text),
                    QMessageBox::Ok, static_cast<QWidget *>(dialogWindow));
    box.exec();
}

static void showTemplateChangedBox(const char *codeText) {
    ensureApplication();
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("CorvaneDB template changed. Message:"),
                    QString::fromUtf8(codeText), QMessageBox::Ok, nullptr);
    box.exec();
}

static void redrawDialogNow() {
    if (QWidget *dialog = static_cast<QWidget *>(dialogWindow)) dialog->repaint();
}

static const MessageBoxHooks WINDOW_MESSAGE_BOXES = {showInformationBox, showTemplateChangedBox,
                                                    redrawDialogNow};

const MessageBoxHooks *windowMessageBoxHooks() { return &WINDOW_MESSAGE_BOXES; }

static bool platformReachable() {
    const char *platform = std::getenv("QT_QPA_PLATFORM");
    return displayAvailable() || (platform && *platform);
}

bool openWindowSystem(int &, char **argv) {
    if (!platformReachable()) {
        std::fprintf(stderr, "No display to show the window on, and no terminal for the console "
                             "mode: start the program from a terminal or a desktop session.\n");
        return false;
    }
    keepProgramName(argv);
    ensureApplication();
    setMessageBoxHooks(&WINDOW_MESSAGE_BOXES);
    return true;
}

void installConsoleMessageBoxes(int &, char **argv) {
    keepProgramName(argv);
    setMessageBoxHooks(&WINDOW_MESSAGE_BOXES);
}

void closeWindowSystem() {
    setMessageBoxHooks(nullptr);
    delete application;
    application = nullptr;
}
