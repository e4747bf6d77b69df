// The installed launcher, end to end: it makes the user's working folder and
// its cache folder, and starts the installed program there, in window mode
// (no terminal, as from the desktop entry, on a private X server) and in
// console mode (under a pseudo-terminal), against the stand-in web service
// on 127.0.0.1. One install serves all the tests here.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "install_support.h"
#include "support/standin.h"
#include "support/temp_folder.h"
#include "support/x_display.h"

namespace fs = std::filesystem;

namespace {

const std::string NOTICE = "Loading CorvaneDB core for the first time...\n";
const std::string CORE_REQUEST = "/db/doc/core/en/3/data.json";
const std::string TITLE = "TAVRO Shopping list generator by DURSK Alpha 7";
const std::string XDG_FOLDER = "/data/tavro-shopping-list";              // under the home folder
const std::string FALLBACK_FOLDER = "/.local/share/tavro-shopping-list"; // likewise

// Replaces each "{home}" in `text` with `home`.
std::string atHome(std::string text, const std::string &home) {
    for (std::size_t at; (at = text.find("{home}")) != std::string::npos;) text.replace(at, 6, home);
    return text;
}

class Launcher : public ::testing::Test {
protected:
    Launcher() : standin(DATA_DIR "/sample") {}

    void SetUp() override {
        ASSERT_EQ(installed.installRun().exitCode, 0) << installed.installRun().output;
    }

    // The environment of a user whose XDG_DATA_HOME is <home>/data.
    std::vector<std::string> userEnvironment() const {
        return {"HOME=" + home.path(), "XDG_DATA_HOME=" + home.path() + "/data", "QT_QPA_PLATFORM=offscreen"};
    }

    // Checks that a console run downloaded the core data into `workFolder`.
    void expectCoreDataDownloadedInto(const CommandResult &run, const std::string &workFolder) {
        EXPECT_EQ(run.exitCode, 0) << run.output;
        EXPECT_EQ(run.output.rfind(NOTICE, 0), 0u) << run.output;
        EXPECT_EQ(readFile(workFolder + "/cache/corvanedbcore"), readFile(DATA_DIR "/sample/core.json"));
        std::vector<std::string> requests = standin.requests();
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(requests.front(), CORE_REQUEST);
    }

    const InstalledPrefix &installed = sharedInstall();
    ScratchFolder home;
    Standin standin;
    const std::string launcher = installed.path("bin/" + LAUNCHER);
    const std::string program = installed.path("bin/" + PROGRAM);
};

// Started from the desktop, the program waits on its first-time notice in
// the working folder; once it is answered, the core data is downloaded
// there and the window opens.
TEST_F(Launcher, WindowModeMakesTheWorkingFolderAndRunsTheProgramInIt) {
    XDisplay display;
    struct Row {
        const char *label;
        std::string xdgDataHome; // an entry for the environment
        std::string workFolder;
        std::string notMade;
    } rows[] = {
        {"XDG_DATA_HOME set", "XDG_DATA_HOME={home}/data", XDG_FOLDER, "/.local"},
        {"XDG_DATA_HOME unset", "XDG_DATA_HOME", FALLBACK_FOLDER, "/data"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        ScratchFolder rowHome;
        std::string log = rowHome.path() + "/run.log";
        std::string workFolder = rowHome.path() + row.workFolder;
        standin.clearLog();
        DetachedRun run(launcher, {},
                        {"HOME=" + rowHome.path(), atHome(row.xdgDataHome, rowHome.path()),
                         "DISPLAY=" + display.name(), "QT_QPA_PLATFORM"},
                        log);
        ASSERT_TRUE(run.waitForExecutable(program, 60)) << readFile(log);
        EXPECT_EQ(run.currentDirectory(), workFolder);
        EXPECT_TRUE(fs::is_directory(workFolder + "/cache"));
        EXPECT_FALSE(fs::exists(rowHome.path() + row.notMade));

        std::vector<std::string> boxes;
        waitUntil([&] { return !(boxes = display.windowsTitled("Message")).empty() || !run.running(); },
                  std::chrono::seconds(60));
        ASSERT_EQ(boxes.size(), 1u) << "no notice box; the display " << (display.answers() ? "answers" : "is gone")
                                    << "; the program printed: " << readFile(log);
        EXPECT_TRUE(run.running());
        EXPECT_TRUE(standin.requests().empty()) << "downloaded before the notice was answered";

        std::vector<std::string> windows;
        waitUntil(
            [&] {
                if (!display.windowsTitled("Message").empty()) display.sendKey(boxes[0], "Return");
                return !(windows = display.windowsTitled(TITLE)).empty() || !run.running();
            },
            std::chrono::seconds(60));
        ASSERT_EQ(windows.size(), 1u) << "no window after the notice; the program printed: " << readFile(log);
        EXPECT_EQ(standin.requests(), std::vector<std::string>{CORE_REQUEST});
        EXPECT_EQ(readFile(workFolder + "/cache/corvanedbcore"), readFile(DATA_DIR "/sample/core.json"));
    }
}

// The first start in a terminal, however the launcher is reached and
// wherever the working folder goes: "{home}" stands for a fresh home folder.
TEST_F(Launcher, ConsoleModeDownloadsTheCoreDataIntoTheWorkingFolder) {
    struct Row {
        const char *label;
        std::string folder; // where the launcher is started
        std::string launcher;
        std::vector<std::string> environment;
        std::string workFolder;
        std::vector<std::string> notMade;
    } rows[] = {
        {"XDG_DATA_HOME set", "{home}", launcher, {"XDG_DATA_HOME={home}/data"}, XDG_FOLDER, {"/.local"}},
        // XDG_DATA_HOME unset, empty, or not an absolute path: the folder goes under $HOME/.local/share.
        {"XDG_DATA_HOME unset", "{home}", launcher, {"-u XDG_DATA_HOME"}, FALLBACK_FOLDER,
         {"/tavro-shopping-list"}},
        {"XDG_DATA_HOME empty", "{home}", launcher, {"XDG_DATA_HOME="}, FALLBACK_FOLDER, {"/tavro-shopping-list"}},
        {"XDG_DATA_HOME relative", "{home}", launcher, {"XDG_DATA_HOME=relative/data"}, FALLBACK_FOLDER,
         {"/relative", "/tavro-shopping-list"}},
        // The launcher changes directory before it starts the program, so it
        // must resolve its own path first.
        {"started by a relative path", installed.prefix(), "bin/" + LAUNCHER, {"XDG_DATA_HOME={home}/data"},
         XDG_FOLDER, {"/.local"}},
        {"started through a symlink on the path", "{home}", LAUNCHER,
         {"XDG_DATA_HOME={home}/data", "PATH={home}/links:/usr/bin:/bin"}, XDG_FOLDER, {"/.local"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        ScratchFolder rowHome;
        fs::create_directory(rowHome.path() + "/links");
        fs::create_symlink(launcher, rowHome.path() + "/links/" + LAUNCHER);
        std::vector<std::string> environment = {"HOME=" + rowHome.path()};
        for (const std::string &entry : row.environment) environment.push_back(atHome(entry, rowHome.path()));
        std::string workFolder = rowHome.path() + row.workFolder;
        standin.clearLog();
        CommandResult run =
            runInTerminal(atHome(row.folder, rowHome.path()), row.launcher, {"Bronze Lamp", "3"}, environment);
        expectCoreDataDownloadedInto(run, workFolder);
        // "Bronze Lamp" reached the program as one argument, and its list came out.
        EXPECT_TRUE(fileExists(workFolder + "/cache/Bronze Lamp"));
        EXPECT_NE(run.output.find("\n   3 Bronze Lamp Frame\n"), std::string::npos) << run.output;
        for (const std::string &path : row.notMade) EXPECT_FALSE(fs::exists(rowHome.path() + path)) << path;
    }
}

TEST_F(Launcher, SecondStartKeepsTheFolderAndAnswersFromItsCache) {
    std::string workFolder = home.path() + XDG_FOLDER;
    CommandResult first = runInTerminal(home.path(), launcher, {"Bronze Lamp", "3"}, userEnvironment());
    expectCoreDataDownloadedInto(first, workFolder);
    writeFile(workFolder + "/notes.txt", "mine");
    standin.clearLog();
    CommandResult second = runInTerminal(home.path(), launcher, {"Bronze Lamp", "3"}, userEnvironment());
    EXPECT_EQ(second.exitCode, 0) << second.output;
    EXPECT_EQ(second.output, first.output.substr(NOTICE.size()));
    EXPECT_TRUE(standin.requests().empty());
    EXPECT_EQ(readFile(workFolder + "/notes.txt"), "mine");
}

TEST_F(Launcher, StopsWithAMessageWhenTheWorkingFolderCannotBeMade) {
    writeFile(home.path() + "/not-a-folder", "");
    CommandResult run = runInTerminal(home.path(), launcher, {},
                                      {"HOME=" + home.path() + "/not-a-folder", "-u XDG_DATA_HOME"});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.output.find("tavro-shopping-list: cannot create"), std::string::npos) << run.output;
    EXPECT_TRUE(standin.requests().empty());
}

} // namespace
