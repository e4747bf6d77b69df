// The installed launcher, end to end: it makes the user's working folder and
// its cache folder, and starts the installed program there, in window mode
// (no terminal, as from the desktop entry) and in console mode (under a
// pseudo-terminal), against the stand-in web service on 127.0.0.1.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "install_support.h"
#include "support/standin.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

const std::string NOTICE = "Loading CorvaneDB core for the first time...\n";
const std::string CORE_REQUEST = "/db/doc/core/en/3/data.json";

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
    std::string xdgWorkFolder() const { return home.path() + "/data/tavro-shopping-list"; }
    std::string fallbackWorkFolder() const { return home.path() + "/.local/share/tavro-shopping-list"; }

    // Checks that a console run downloaded the core data into `workFolder`.
    void expectCoreDataDownloadedInto(const CommandResult &run, const std::string &workFolder) {
        EXPECT_EQ(run.exitCode, 0) << run.output;
        EXPECT_EQ(run.output.rfind(NOTICE, 0), 0u) << run.output;
        EXPECT_EQ(readFile(workFolder + "/cache/corvanedbcore"), readFile(DATA_DIR "/sample/core.json"));
        std::vector<std::string> requests = standin.requests();
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(requests.front(), CORE_REQUEST);
    }

    InstalledPrefix installed;
    ScratchFolder home;
    Standin standin;
    const std::string launcher = installed.path("bin/" + LAUNCHER);
    const std::string program = installed.path("bin/" + PROGRAM);
};

TEST_F(Launcher, WindowModeMakesTheWorkingFolderAndRunsTheProgramInIt) {
    DetachedRun run(launcher, {}, userEnvironment(), home.path() + "/run.log");
    ASSERT_TRUE(run.waitForExecutable(program, 30)) << readFile(home.path() + "/run.log");
    EXPECT_EQ(run.currentDirectory(), xdgWorkFolder());
    EXPECT_TRUE(fs::is_directory(xdgWorkFolder() + "/cache"));
    EXPECT_FALSE(fs::exists(home.path() + "/.local"));
    // The window mode waits on its first-time notice box: still running.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(run.running()) << readFile(home.path() + "/run.log");
}

TEST_F(Launcher, WindowModeFallsBackToHomeWithoutXdgDataHome) {
    DetachedRun run(launcher, {}, {"HOME=" + home.path(), "XDG_DATA_HOME", "QT_QPA_PLATFORM=offscreen"},
                    home.path() + "/run.log");
    ASSERT_TRUE(run.waitForExecutable(program, 30)) << readFile(home.path() + "/run.log");
    EXPECT_EQ(run.currentDirectory(), fallbackWorkFolder());
    EXPECT_TRUE(fs::is_directory(fallbackWorkFolder() + "/cache"));
    EXPECT_TRUE(run.running());
}

TEST_F(Launcher, ConsoleModeDownloadsTheCoreDataIntoTheWorkingFolder) {
    CommandResult run = runInTerminal(home.path(), launcher, {"Bronze Lamp", "3"}, userEnvironment());
    expectCoreDataDownloadedInto(run, xdgWorkFolder());
    // "Bronze Lamp" reached the program as one argument, and its list came out.
    EXPECT_TRUE(fileExists(xdgWorkFolder() + "/cache/Bronze Lamp"));
    EXPECT_NE(run.output.find("\n   3 Bronze Lamp Frame\n"), std::string::npos) << run.output;
    EXPECT_FALSE(fs::exists(home.path() + "/.local"));
}

TEST_F(Launcher, SecondStartKeepsTheFolderAndAnswersFromItsCache) {
    CommandResult first = runInTerminal(home.path(), launcher, {"Bronze Lamp", "3"}, userEnvironment());
    expectCoreDataDownloadedInto(first, xdgWorkFolder());
    writeFile(xdgWorkFolder() + "/notes.txt", "mine");
    standin.clearLog();
    CommandResult second = runInTerminal(home.path(), launcher, {"Bronze Lamp", "3"}, userEnvironment());
    EXPECT_EQ(second.exitCode, 0) << second.output;
    EXPECT_EQ(second.output, first.output.substr(NOTICE.size()));
    EXPECT_TRUE(standin.requests().empty());
    EXPECT_EQ(readFile(xdgWorkFolder() + "/notes.txt"), "mine");
}

// XDG_DATA_HOME unset, empty, or not an absolute path: the folder goes under
// $HOME/.local/share.
class LauncherFallback : public Launcher, public ::testing::WithParamInterface<std::string> {};

TEST_P(LauncherFallback, UsesHomeLocalShare) {
    std::vector<std::string> environment = {"HOME=" + home.path(), GetParam()};
    CommandResult run = runInTerminal(home.path(), launcher, {}, environment);
    expectCoreDataDownloadedInto(run, fallbackWorkFolder());
    EXPECT_FALSE(fs::exists(home.path() + "/relative"));
    EXPECT_FALSE(fs::exists(home.path() + "/tavro-shopping-list"));
}

INSTANTIATE_TEST_SUITE_P(XdgDataHome, LauncherFallback,
                         ::testing::Values("-u XDG_DATA_HOME", "XDG_DATA_HOME=", "XDG_DATA_HOME=relative/data"),
                         [](const ::testing::TestParamInfo<std::string> &info) {
                             return std::string(info.index == 0 ? "Unset" : info.index == 1 ? "Empty" : "Relative");
                         });

TEST_F(Launcher, FindsItsProgramWhenStartedByARelativePath) {
    // From the prefix, as "bin/tavro-shopping-list": the launcher changes
    // directory before it starts the program, so it must resolve its own path first.
    CommandResult run = runInTerminal(installed.prefix(), "bin/" + LAUNCHER, {}, userEnvironment());
    expectCoreDataDownloadedInto(run, xdgWorkFolder());
}

TEST_F(Launcher, FindsItsProgramWhenStartedThroughASymlinkOnThePath) {
    fs::create_directory(home.path() + "/links");
    fs::create_symlink(launcher, home.path() + "/links/" + LAUNCHER);
    std::vector<std::string> environment = userEnvironment();
    environment.push_back("PATH=" + home.path() + "/links:/usr/bin:/bin");
    CommandResult run = runInTerminal(home.path(), LAUNCHER, {}, environment);
    expectCoreDataDownloadedInto(run, xdgWorkFolder());
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
