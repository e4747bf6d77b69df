// The application object and the message boxes that the core shows.
#include <QApplication>
#include <QMessageBox>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

#include "shell/app_state.h"
#include "shell/messages.h"
#include "ui/window.h"

static int *applicationArgc = nullptr;
static char **applicationArgv = nullptr;
static QApplication *application = nullptr;

static void ensureApplication() {
    if (!QApplication::instance()) application = new QApplication(*applicationArgc, applicationArgv);
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

bool openWindowSystem(int &argc, char **argv) {
    if (!platformReachable()) {
        std::fprintf(stderr, "No display to show the window on, and no terminal for the console "
                             "mode: start the program from a terminal or a desktop session.\n");
        return false;
    }
    applicationArgc = &argc;
    applicationArgv = argv;
    ensureApplication();
    setMessageBoxHooks(&WINDOW_MESSAGE_BOXES);
    return true;
}

void installConsoleMessageBoxes(int &argc, char **argv) {
    applicationArgc = &argc;
    applicationArgv = argv;
    setMessageBoxHooks(&WINDOW_MESSAGE_BOXES);
}

void closeWindowSystem() {
    setMessageBoxHooks(nullptr);
    delete application;
    application = nullptr;
}
