// The Debian package that dpkg-buildpackage makes from the source tree with the
// rules in debian/ (tools/build-deb.sh, without the tests): its name, control
// fields, dependencies and contents, lintian's verdict, and the packaged launcher
// run from the unpacked tree. Built once for all the tests here.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "install_support.h"
#include "support/console_run.h"
#include "support/standin.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

// A file mode as dpkg-deb lists it ("-rwxr-xr-x").
std::string modeText(int mode) {
    std::string text = "-";
    for (int bit = 8; bit >= 0; --bit) text += (mode >> bit) & 1 ? "rwx"[(8 - bit) % 3] : '-';
    return text;
}

class DebianPackage : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        output = new ScratchFolder;
        // The copy of the sources is built in the scratch folder too, where the
        // shipped files must not name it.
        fs::create_directory(output->path() + "/tmp");
        made = runCommand("TMPDIR=" + shellQuote(output->path() + "/tmp") + " DEB_BUILD_OPTIONS=nocheck bash " +
                          shellQuote(BUILD_DEB_SCRIPT) + " " + shellQuote(output->path() + "/out"));
        std::error_code missing;
        for (const auto &entry : fs::directory_iterator(output->path() + "/out", missing)) {
            std::string name = entry.path().filename().string();
            if (name.ends_with(".changes")) changes = entry.path().string();
            if (name.ends_with(".deb")) (name.find("-dbgsym_") == std::string::npos ? debs : debugDebs).push_back(entry.path().string());
        }
        if (debs.size() == 1 && debugDebs.size() == 1)
            unpacked = runCommand("dpkg-deb -x " + shellQuote(deb()) + " " + shellQuote(output->path() + "/unpacked") +
                                  " && dpkg-deb -x " + shellQuote(debugDebs.front()) + " " +
                                  shellQuote(output->path() + "/unpacked-debug"));
    }
    static void TearDownTestSuite() {
        delete output;
        output = nullptr;
    }
    void SetUp() override {
        ASSERT_EQ(made.exitCode, 0) << made.output;
        ASSERT_EQ(debs.size(), 1u) << made.output;
        ASSERT_EQ(debugDebs.size(), 1u) << made.output;
        ASSERT_EQ(unpacked.exitCode, 0) << unpacked.output;
    }
    static std::string deb() { return debs.front(); }
    // The package's usr folder, unpacked.
    static std::string usr() { return output->path() + "/unpacked/usr"; }
    static std::string field(const std::string &name) {
        return trimmed(runCommand("dpkg-deb -f " + shellQuote(deb()) + " " + name).output);
    }

    static inline ScratchFolder *output = nullptr;
    static inline CommandResult made;
    static inline CommandResult unpacked{"not unpacked", -1};
    static inline std::vector<std::string> debs, debugDebs;
    static inline std::string changes;
};

TEST_F(DebianPackage, FileNameHasNameVersionAndArchitecture) {
    std::string architecture = trimmed(runCommand("dpkg --print-architecture").output);
    EXPECT_EQ(fs::path(deb()).filename().string(),
              PACKAGE + "_" + INSTALL_PROJECT_VERSION + "_" + architecture + ".deb");
}

TEST_F(DebianPackage, ControlFieldsNameTheProgramAndItsMaintainer) {
    EXPECT_EQ(field("Package"), PACKAGE);
    EXPECT_EQ(field("Version"), INSTALL_PROJECT_VERSION);
    EXPECT_EQ(field("Architecture"), trimmed(runCommand("dpkg --print-architecture").output));
    EXPECT_EQ(field("Section"), "utils");
    std::string maintainer = field("Maintainer");
    EXPECT_NE(maintainer.find(" <"), std::string::npos) << maintainer;
    EXPECT_EQ(maintainer.back(), '>') << maintainer;
    std::string description = field("Description");
    EXPECT_NE(description.find("shopping-list"), std::string::npos) << description;
    EXPECT_NE(description.find('\n'), std::string::npos) << "no long description: " << description;
}

TEST_F(DebianPackage, DependsOnCurlAndQt6WidgetsAndThePlatformPlugins) {
    CommandResult info = runCommand("dpkg-deb -I " + shellQuote(deb()));
    ASSERT_EQ(info.exitCode, 0) << info.output;
    std::size_t at = info.output.find("\n Depends: ");
    ASSERT_NE(at, std::string::npos) << info.output;
    std::string depends = info.output.substr(at, info.output.find('\n', at + 1) - at);
    for (const char *package : {"libcurl4 ", "libqt6widgets6 ", "libqt6gui6 ", "libqt6core6 ", "qt6-qpa-plugins"})
        EXPECT_NE(depends.find(package), std::string::npos) << package << " missing from" << depends;
}

TEST_F(DebianPackage, ContentsAreTheInstalledTreeUnderUsr) {
    CommandResult contents = runCommand("dpkg-deb --contents " + shellQuote(deb()));
    ASSERT_EQ(contents.exitCode, 0) << contents.output;
    std::vector<std::string> files;
    std::istringstream lines(contents.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::string mode = line.substr(0, line.find(' '));
        std::string path = line.substr(line.find(" ./") + 1); // and " -> target" for a link
        if (path == "./") continue;                              // the archive's root
        EXPECT_EQ(path.rfind("./usr/", 0), 0u) << line;
        if (mode[0] == 'd') continue;
        files.push_back(mode + " " + path);
    }
    std::sort(files.begin(), files.end());
    std::vector<std::string> expected;
    for (const InstalledFile &file : INSTALLED_FILES)
        expected.push_back(file.linkTarget.empty() ? modeText(file.mode) + " ./usr/" + file.path
                                                   : "lrwxrwxrwx ./usr/" + file.path + " -> " + file.linkTarget);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(files, expected);
}

TEST_F(DebianPackage, LintianFindsNothingToReportOnThePackageOrTheChanges) {
    // Any tag fails, informational and pedantic ones too: the package
    // overrides none. Only lintian's note about running as root may stand.
    // The .changes brings the debug symbols package and the .buildinfo along.
    for (const std::string &file : {deb(), changes}) {
        SCOPED_TRACE(file);
        CommandResult lint = runCommand("lintian --display-info --pedantic --fail-on none " + shellQuote(file));
        EXPECT_EQ(lint.exitCode, 0) << lint.output;
        std::istringstream lines(lint.output);
        for (std::string line; std::getline(lines, line);)
            EXPECT_TRUE(line == "running with root privileges is not recommended!") << line;
    }
}

TEST_F(DebianPackage, ShipsNoPathOfTheFolderItWasBuiltIn) {
    CommandResult found = runCommand("grep -rlaF " + shellQuote(output->path()) + " " + shellQuote(usr()));
    EXPECT_EQ(found.exitCode, 1) << found.output;
    // Nor do the debug symbols, whose (compressed) strings name the source files.
    CommandResult strings = runCommand("cd " + shellQuote(output->path() + "/unpacked-debug") +
                                       " && find . -name '*.debug' -exec readelf -z -p .debug_line_str -p .debug_str {} +");
    EXPECT_NE(strings.output.find("  ./src/shell/main.cpp\n"), std::string::npos) << strings.output;
    EXPECT_EQ(strings.output.find(output->path()), std::string::npos);
}

TEST_F(DebianPackage, ManualPagesAreDatedByTheChangelogNotByTheBuild) {
    std::string date = trimmed(runCommand("date -u -d @$(dpkg-parsechangelog -l " +
                                          shellQuote(INSTALL_SOURCE_DIR "/debian/changelog") +
                                          " -S Timestamp) +%Y-%m-%d").output);
    for (const std::string &command : {PROGRAM, LAUNCHER}) {
        SCOPED_TRACE(command);
        std::string page = runCommand("zcat " + shellQuote(usr() + "/share/man/man1/" + command + ".1.gz")).output;
        EXPECT_NE(page.find(".TH \"" + command + "\" \"1\" \"" + date + "\"\n"), std::string::npos) << page;
    }
}

TEST_F(DebianPackage, AppStreamDataValidatesWithTheDesktopEntryBesideIt) {
    CommandResult check = runCommand("appstreamcli validate-tree --no-net " + shellQuote(output->path() + "/unpacked"));
    EXPECT_EQ(check.exitCode, 0) << check.output;
}

TEST_F(DebianPackage, PackagedDesktopEntryRunsTheLauncherInUsrBin) {
    std::string entry = usr() + "/share/applications/" + APP_ID + ".desktop";
    CommandResult check = runCommand("desktop-file-validate " + shellQuote(entry));
    EXPECT_EQ(check.exitCode, 0) << check.output;
    EXPECT_EQ(desktopEntryKeys(entry)["Exec"], "/usr/bin/" + LAUNCHER);
}

TEST_F(DebianPackage, PackagedLauncherRunsThePackagedProgram) {
    Standin standin(DATA_DIR "/sample");
    ScratchFolder home;
    CommandResult run = runInTerminal(home.path(), usr() + "/bin/" + LAUNCHER, {"Bronze Lamp", "1"},
                                      {"HOME=" + home.path(), "-u XDG_DATA_HOME", "QT_QPA_PLATFORM=offscreen"});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("\n   1 Bronze Lamp Frame\n"), std::string::npos) << run.output;
    EXPECT_TRUE(fileExists(home.path() + "/.local/share/tavro-shopping-list/cache/corvanedbcore"));
}

} // namespace
