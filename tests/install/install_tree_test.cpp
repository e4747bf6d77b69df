// `cmake --install` into a temporary prefix: the files it puts there, their
// modes, and the desktop entry that a desktop reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "install_support.h"
#include "support/console_run.h"
#include "support/temp_folder.h"

namespace {

const std::string ENTRY = "share/applications/" + APP_ID + ".desktop";
const std::string SVG_ICON = "share/icons/hicolor/scalable/apps/" + APP_ID + ".svg";
const std::string PNG_ICON = "share/icons/hicolor/48x48/apps/" + APP_ID + ".png";
const std::string DOC = "share/doc/tavro-shopping-list/";
const std::string WINDOW_MODULE = "lib/tavro-shopping-list/libtavro-shopping-list-ui.so";

class InstallTree : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(installed.installRun().exitCode, 0) << installed.installRun().output;
    }
    InstalledPrefix installed;
};

TEST_F(InstallTree, PutsExactlyTheProgramLauncherEntryIconsAndDocs) {
    std::vector<std::string> expected = {
        "bin/" + PROGRAM, "bin/" + LAUNCHER, DOC + "LICENSE", DOC + "README.md", ENTRY, PNG_ICON, SVG_ICON,
        WINDOW_MODULE,
    };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(filesUnder(installed.prefix()), expected);
}

TEST_F(InstallTree, ProgramsAreExecutableAndDataIsNot) {
    for (const std::string &program : {"bin/" + PROGRAM, "bin/" + LAUNCHER})
        EXPECT_EQ(fileMode(installed.path(program)), 0755) << program;
    for (const std::string &data :
         {ENTRY, SVG_ICON, PNG_ICON, DOC + "LICENSE", DOC + "README.md", WINDOW_MODULE})
        EXPECT_EQ(fileMode(installed.path(data)), 0644) << data;
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

TEST_F(DesktopEntry, IconNamesTheInstalledIcons) {
    auto keys = desktopEntryKeys(installed.path(ENTRY));
    EXPECT_EQ(keys["Icon"], APP_ID);
    EXPECT_TRUE(fileExists(installed.path("share/icons/hicolor/scalable/apps/" + keys["Icon"] + ".svg")));
    EXPECT_TRUE(fileExists(installed.path("share/icons/hicolor/48x48/apps/" + keys["Icon"] + ".png")));
}

TEST_F(DesktopEntry, IsAWindowedGameApplicationWithNameAndComment) {
    auto keys = desktopEntryKeys(installed.path(ENTRY));
    EXPECT_EQ(keys["Type"], "Application");
    EXPECT_EQ(keys["Name"], "TAVRO Shopping List Generator");
    EXPECT_FALSE(keys["Comment"].empty());
    EXPECT_EQ(keys["Terminal"], "false");
    EXPECT_EQ(keys["Categories"].rfind("Game;", 0), 0u) << keys["Categories"];
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
