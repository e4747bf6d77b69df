// The application object and the message boxes that the core shows, with Qt.
#include <QApplication>
#include <QMessageBox>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/messages.h"
#include "base/process_state.h"
#include "ui/qt/display.h"
#include "ui/window_system.h"

// The application object sees the program's name only, and the platforms
// that can be reached: the window ignores the command line, and the toolkit
// would otherwise act on options of its own such as -reverse or -style.
static int applicationArgc = 1;
static char *applicationArgv[4] = {nullptr, nullptr, nullptr, nullptr};
static char platformOption[] = "-platform";
static std::string applicationPlatforms;
static QApplication *application = nullptr;

static void keepProgramName(char **argv) {
    static char fallbackName[] = "shopping-list";
    applicationArgv[0] = argv && argv[0] ? argv[0] : fallbackName;
}

// Creates the application object unless there is one. False when no
// display can be reached (the toolkit would end the process there).
// A display found unreachable is not tried again in this process: each try
// may wait for a far host.
static bool ensureApplication() {
    static bool unreachable = false;
    if (QApplication::instance()) return true;
    if (unreachable || !chooseReachableDisplay(&applicationPlatforms)) {
        unreachable = true;
        return false;
    }
    if (!applicationArgv[0]) keepProgramName(nullptr);
    applicationArgc = 1;
    if (!applicationPlatforms.empty()) {
        applicationArgv[applicationArgc++] = platformOption;
        applicationArgv[applicationArgc++] = applicationPlatforms.data();
    }
    applicationArgv[applicationArgc] = nullptr;
    application = new QApplication(applicationArgc, applicationArgv);
    releaseReachableDisplay();
    return true;
}

static void showInformationBox(const char *text) {
    if (!ensureApplication()) {
        std::printf("%s\n", text);
        std::fflush(stdout);
        return;
    }
    QMessageBox box(QMessageBox::Information, QStringLiteral("Message"), QString::fromUtf8(text),
                    QMessageBox::Ok, static_cast<QWidget *>(dialogWindow));
    box.exec();
}

// The template report has printed its line already; without a display the
// box is left out and the run goes on.
static void showTemplateChangedBox(const char *codeText) {
    if (!ensureApplication()) return;
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("CorvaneDB template changed. Message:"),
                    QString::fromUtf8(codeText), QMessageBox::Ok, nullptr);
    box.exec();
}

static const MessageBoxHooks WINDOW_MESSAGE_BOXES = {showInformationBox, showTemplateChangedBox};

const MessageBoxHooks *windowMessageBoxHooks() { return &WINDOW_MESSAGE_BOXES; }

bool openWindowSystem(int &, char **argv) {
    keepProgramName(argv);
    if (!ensureApplication()) {
        std::fprintf(stderr, "No display to show the window on, and no terminal for the console "
                             "mode: start the program from a terminal or a desktop session.\n");
        return false;
    }
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
