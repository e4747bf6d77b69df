// `cmake --install` into a temporary prefix: the files it puts there, their
// modes, and the desktop entry that a desktop reads. One install serves all
// the tests here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "install_support.h"
#include "support/console_run.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

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
    ASSERT_EQ(INSTALLED_FILES.size(), 14u);
    for (const InstalledFile &file : INSTALLED_FILES) {
        SCOPED_TRACE(file.path);
        EXPECT_EQ(fileMode(installed.path(file.path)), file.mode);
        if (!file.linkTarget.empty()) {
            EXPECT_EQ(fs::read_symlink(installed.path(file.path)), file.linkTarget);
        }
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

TEST_F(InstallTree, DocsAreTheReadmeTheMitLicenceInTheCopyrightFileAndTheChangelogOfThisVersion) {
    EXPECT_EQ(readFile(installed.path(DOC + "README.md")), readFile(INSTALL_SOURCE_DIR "/README.md"));
    // The machine-readable copyright file ends with the licence's text: each
    // line after a blank, a lone dot for an empty one.
    std::string licence = readFile(INSTALL_SOURCE_DIR "/LICENSE");
    ASSERT_EQ(licence.rfind("MIT License\n\nCopyright (c) 2026 The TAVRO Shopping List Generator developers\n\n", 0), 0u);
    std::string text = "License: Expat\n";
    std::istringstream lines(licence.substr(licence.find("Permission")));
    for (std::string line; std::getline(lines, line);) text += line.empty() ? " .\n" : " " + line + "\n";
    std::string copyright = readFile(installed.path(DOC + "copyright"));
    EXPECT_EQ(copyright.rfind("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n", 0), 0u);
    EXPECT_NE(copyright.find("\nFiles: *\nCopyright: 2026 The TAVRO Shopping List Generator developers\n"),
              std::string::npos);
    EXPECT_TRUE(copyright.ends_with("\n\n" + text)) << copyright;
    CommandResult version =
        runCommand("zcat " + shellQuote(installed.path(DOC + "changelog.gz")) + " | dpkg-parsechangelog -l - -S Version");
    EXPECT_EQ(version.output, INSTALL_PROJECT_VERSION "\n");
}

TEST_F(InstallTree, ManualPagesRenderWithoutWarningsWithEveryOptionPairAndResultCode) {
    auto options = usageOptions(installed);
    ASSERT_EQ(options.size(), 6u);
    // The rows of the README's table of result codes, "| N | meaning |", as
    // the roff that scdoc writes for a row of the page's table.
    std::vector<std::string> codes;
    std::string readme = readFile(INSTALL_SOURCE_DIR "/README.md");
    std::istringstream rows(readme.substr(readme.find("## Result codes")));
    for (std::string row; std::getline(rows, row) && row.rfind("## L", 0) != 0;) {
        std::size_t split = row.find(" | ");
        if (row.size() > 4 && row[0] == '|' && std::isdigit(row[2]))
            codes.push_back("\nT{\n" + row.substr(2, split - 2) + "\nT}\tT{\n" +
                            row.substr(split + 3, row.size() - split - 5) + "\nT}\n");
    }
    ASSERT_EQ(codes.size(), 10u);
    // Dated by the sources (SOURCE_DATE_EPOCH, or the last commit), not by the day of the build.
    std::string date = runCommand("date -u -d @" INSTALL_SOURCE_DATE_EPOCH " +%Y-%m-%d").output;
    for (const std::string &command : {PROGRAM, LAUNCHER}) {
        SCOPED_TRACE(command);
        std::string page = shellQuote(installed.path(MANUAL + command + ".1.gz"));
        std::string man = "LC_ALL=C.UTF-8 MANWIDTH=200 man --warnings=w -l " + page;
        EXPECT_EQ(runCommand(man + " 2>&1 >/dev/null").output, ""); // groff's warnings, man's errors
        CommandResult shown = runCommand(man + " 2>/dev/null");
        EXPECT_EQ(shown.exitCode, 0);
        EXPECT_EQ(shown.output.rfind(command + "(1) ", 0), 0u) << shown.output;
        for (const auto &[shortForm, longForm] : options)
            EXPECT_NE(shown.output.find("\n       " + shortForm + ", " + longForm + "\n"), std::string::npos) << shortForm;
        std::string roff = runCommand("zcat " + page + " | sed 's/\\\\&//g'").output;
        for (const std::string &code : codes) EXPECT_NE(roff.find(code), std::string::npos) << code;
        EXPECT_NE(roff.find(".TH \"" + command + "\" \"1\" \"" + date.substr(0, 10) + "\"\n"), std::string::npos);
    }
}

TEST_F(InstallTree, AppStreamDataValidatesAndNamesTheDesktopEntryAndThisVersion) {
    std::string metainfo = installed.path(METAINFO);
    CommandResult check = runCommand("appstreamcli validate --no-net " + shellQuote(metainfo));
    EXPECT_EQ(check.exitCode, 0) << check.output;
    std::string xml = readFile(metainfo);
    EXPECT_NE(xml.find("\n  <id>" + APP_ID + "</id>\n"), std::string::npos);
    EXPECT_NE(xml.find("<launchable type=\"desktop-id\">" + fs::path(ENTRY).filename().string() + "</launchable>"),
              std::string::npos);
    // The newest release comes first.
    std::size_t release = xml.find("<release ");
    EXPECT_EQ(xml.substr(release, xml.find(' ', release + 18) - release),
              "<release version=\"" INSTALL_PROJECT_VERSION "\"");
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
