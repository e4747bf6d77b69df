// `cmake --install` into a temporary prefix: the files it puts there, their
// modes, and the desktop entry that a desktop reads. One install serves all
// the tests here.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "install_support.h"
#include "support/console_run.h"
#include "support/temp_folder.h"

namespace {

class InstallTree : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(installed.installRun().exitCode, 0) << installed.installRun().output;
    }
    const InstalledPrefix &installed = sharedInstall();
};

TEST_F(InstallTree, PutsExactlyTheListedFilesWithTheirModes) {
    std::vector<std::string> expected;
    for (const InstalledFile &file : INSTALLED_FILES) expected.push_back(file.path);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(filesUnder(installed.prefix()), expected);
    // Programs are executable, data is not.
    ASSERT_EQ(INSTALLED_FILES.size(), 8u);
    for (const InstalledFile &file : INSTALLED_FILES) {
        SCOPED_TRACE(file.path);
        EXPECT_EQ(fileMode(installed.path(file.path)), file.mode);
    }
}

TEST_F(InstallTree, LauncherIsAPosixShellScript) {
    std::string launcher = installed.path("bin/" + LAUNCHER);
    EXPECT_EQ(readFile(launcher).rfind("#!/bin/sh\n", 0), 0u);
    // dash is Debian's /bin/sh and knows only POSIX shell syntax.
    CommandResult syntax = runCommand("dash -n " + shellQuote(launcher));
    EXPECT_EQ(syntax.exitCode, 0) << syntax.output;
}

TEST_F(InstallTree, IconIsAScalableSvgAndA48PixelPng) {
    std::string svg = readFile(installed.path(SVG_ICON));
    EXPECT_NE(svg.find("<svg"), std::string::npos);
    EXPECT_NE(svg.find("xmlns=\"http://www.w3.org/2000/svg\""), std::string::npos);
    // The installed SVG can be drawn.
    ScratchFolder scratch;
    CommandResult drawn = runCommand("rsvg-convert --width=16 --height=16 --output=" +
                                     shellQuote(scratch.path() + "/small.png") + " " +
                                     shellQuote(installed.path(SVG_ICON)));
    EXPECT_EQ(drawn.exitCode, 0) << drawn.output;
    EXPECT_EQ(pngSize(scratch.path() + "/small.png"), std::make_pair(16, 16));
    EXPECT_EQ(pngSize(installed.path(PNG_ICON)), std::make_pair(48, 48));
}

TEST_F(InstallTree, DocsAreTheReadmeAndTheMitLicence) {
    EXPECT_EQ(readFile(installed.path(DOC + "README.md")), readFile(INSTALL_SOURCE_DIR "/README.md"));
    std::string licence = readFile(installed.path(DOC + "LICENSE"));
    EXPECT_EQ(licence.rfind("MIT License\n", 0), 0u);
    EXPECT_NE(licence.find("Copyright (c) 2026 The TAVRO Shopping List Generator developers\n"),
              std::string::npos);
    EXPECT_NE(licence.find("THE SOFTWARE IS PROVIDED \"AS IS\""), std::string::npos);
}

class DesktopEntry : public InstallTree {};

TEST_F(DesktopEntry, PassesDesktopFileValidate) {
    CommandResult check = runCommand("desktop-file-validate " + shellQuote(installed.path(ENTRY)));
    EXPECT_EQ(check.exitCode, 0) << check.output;
    EXPECT_EQ(check.output, ""); // not even a hint
}

TEST_F(DesktopEntry, ExecRunsTheInstalledLauncherByItsFullPath) {
    auto keys = desktopEntryKeys(installed.path(ENTRY));
    ASSERT_TRUE(keys.count("Exec"));
    // Only the launcher, no field codes: the window takes no files.
    std::string program = execProgram(keys["Exec"]);
    EXPECT_EQ(program, installed.path("bin/" + LAUNCHER)) << keys["Exec"];
    EXPECT_EQ(fileMode(program) & 0111, 0111);
    EXPECT_EQ(keys["Exec"].find(" %"), std::string::npos);
}

TEST_F(DesktopEntry, IsAWindowedGameApplicationWithNameCommentAndIcon) {
    auto keys = desktopEntryKeys(installed.path(ENTRY));
    struct Row {
        const char *key;
        std::string value;
    } rows[] = {
        {"Type", "Application"}, {"Name", "TAVRO Shopping List Generator"}, {"Terminal", "false"}, {"Icon", APP_ID},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.key);
        EXPECT_EQ(keys[row.key], row.value);
    }
    EXPECT_FALSE(keys["Comment"].empty());
    EXPECT_EQ(keys["Categories"].rfind("Game;", 0), 0u) << keys["Categories"];
    // The icon name finds the installed icons.
    EXPECT_TRUE(fileExists(installed.path("share/icons/hicolor/scalable/apps/" + keys["Icon"] + ".svg")));
    EXPECT_TRUE(fileExists(installed.path("share/icons/hicolor/48x48/apps/" + keys["Icon"] + ".png")));
}

TEST(DesktopEntryPrefix, ExecQuotesAPrefixWithReservedCharacters) {
    InstalledPrefix odd("odd $HOME \"quoted\" `tick` 100%");
    ASSERT_EQ(odd.installRun().exitCode, 0) << odd.installRun().output;
    std::string entry = odd.path(ENTRY);
    CommandResult check = runCommand("desktop-file-validate " + shellQuote(entry));
    EXPECT_EQ(check.exitCode, 0) << check.output;
    auto keys = desktopEntryKeys(entry);
    EXPECT_EQ(execProgram(keys["Exec"]), odd.path("bin/" + LAUNCHER)) << keys["Exec"];
}

} // namespace
