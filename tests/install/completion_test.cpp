// The installed bash completion, driven in a real bash as readline drives it
// (COMP_WORDS, COMP_CWORD, the function that `complete` names), loaded by the
// command's name as bash-completion loads it, over cache folders with odd
// names. One install serves all the tests here.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "install_support.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

// Arguments: the completions folder, the folder to complete in, COMP_CWORD,
// the words. Loads the completion by the command's name, calls the function
// that `complete` registered for it, prints the replies one a line.
const char DRIVER[] = R"(completions=$1 folder=$2 COMP_CWORD=$3
shift 3
COMP_WORDS=("$@") COMP_LINE="$*" COMP_POINT=${#COMP_LINE}
source "$completions/${1##*/}" && cd "$folder" || exit 1
spec=($(complete -p "${1##*/}"))
"${spec[2]}" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
[ ${#COMPREPLY[@]} -eq 0 ] || printf '%s\n' "${COMPREPLY[@]}"
)";

class Completion : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(installed.installRun().exitCode, 0) << installed.installRun().output;
        writeFile(scratch.path() + "/driver.sh", DRIVER);
        fs::create_directories(scratch.path() + "/work/cache/Folder Item");
        fs::create_directories(scratch.path() + "/home/.local/share/tavro-shopping-list/cache");
        // Names that would make a file if anything evaluated them, the
        // program's own files, names it cannot take, and odd bytes.
        for (const char *name : {"Bronze Lamp", "Bronze Lamp Frame", "Oak's Staff", "Price $5", "\xc3\x89p\xc3\xa9\x65",
                                 "Caf\xe9", "$(: > ran) Ring", "`: > ran` Cape", "Quote\"", "corvanedbcore",
                                 ".download-Ab12Cd", "-Lead Ingot", "2nd Ring"})
            writeFile(scratch.path() + "/work/cache/" + name, "{}");
        writeFile(scratch.path() + "/home/.local/share/tavro-shopping-list/cache/Launcher Lamp", "{}");
        writeFile(scratch.path() + "/xdg/tavro-shopping-list/cache", "a file where the folder belongs");
    }

    // The replies, sorted, for the last of `words` typed in `folder`; with a
    // PATH that finds no program, so that only bash itself can run.
    std::vector<std::string> complete(const std::vector<std::string> &words, const std::string &folder = "work",
                                      const std::string &environment = "") {
        std::string command = "env -i PATH=/nonexistent LC_ALL=C.UTF-8 HOME=" + shellQuote(scratch.path() + "/home") + " " +
                              environment + " /bin/bash --norc --noprofile " + shellQuote(scratch.path() + "/driver.sh") +
                              " " + shellQuote(installed.path(COMPLETIONS)) + " " +
                              shellQuote(scratch.path() + "/" + folder) + " " + std::to_string(words.size() - 1);
        for (const std::string &word : words) command += " " + shellQuote(word);
        CommandResult run = runCommand(command);
        EXPECT_EQ(run.exitCode, 0) << run.output;
        std::vector<std::string> replies;
        std::istringstream lines(run.output);
        for (std::string line; std::getline(lines, line);) replies.push_back(line);
        std::sort(replies.begin(), replies.end());
        return replies;
    }

    const InstalledPrefix &installed = sharedInstall();
    ScratchFolder scratch;
};

TEST_F(Completion, OffersEveryOptionFormOfTheUsageListInAnyLetterCase) {
    std::vector<std::string> forms;
    for (const auto &[shortForm, longForm] : usageOptions(installed)) forms.insert(forms.end(), {shortForm, longForm});
    std::sort(forms.begin(), forms.end());
    ASSERT_EQ(forms.size(), 12u);
    EXPECT_EQ(complete({PROGRAM, "-"}), forms);
    EXPECT_EQ(complete({LAUNCHER, "Bronze Lamp", "-"}), forms);
    EXPECT_EQ(complete({PROGRAM, "-OM"}), std::vector<std::string>{"-omit-crystals"});
    EXPECT_EQ(complete({PROGRAM, "-Craft-M"}), std::vector<std::string>{"-craft-material-gear"});
}

TEST_F(Completion, OffersTheCachedItemNamesQuotedForTheWordAsTypedAndNothingElse) {
    struct Row {
        std::vector<std::string> words, replies;
        std::string folder = "work", environment = "";
    } rows[] = {
        {{PROGRAM, "Bronze"}, {"Bronze\\ Lamp", "Bronze\\ Lamp\\ Frame"}},
        {{PROGRAM, "-oc", "Bronze\\ Lamp\\ F"}, {"Bronze\\ Lamp\\ Frame"}},
        {{PROGRAM, "Oak"}, {"Oak\\'s\\ Staff"}},
        {{PROGRAM, "'Oak"}, {"Oak'\\''s Staff"}},          // inside single quotes
        {{PROGRAM, "\"Pri"}, {"Price \\$5"}},               // inside double quotes
        {{PROGRAM, "\"Quo"}, {"Quote\\\"\""}},               // that readline would not close
        {{PROGRAM, "Bronze' Lamp F"}, {" Lamp Frame"}},     // after a quote opened mid-word
        {{PROGRAM, "\xc3\x89p"}, {"\xc3\x89p\xc3\xa9\x65"}}, // UTF-8 as it is
        {{PROGRAM, "Caf"}, {"$'Caf\\351'"}},                // any other byte, escaped
        {{PROGRAM, "\\$"}, {"\\$\\(:\\ \\>\\ ran\\)\\ Ring"}},
        {{PROGRAM, "$("}, {}},                              // shell syntax, not a name
        {{PROGRAM, "-L"}, {}},                              // "-Lead Ingot" would read as an option
        {{PROGRAM, "2"}, {}},                               // a quantity
        {{PROGRAM, "corv"}, {}},                            // the core data
        {{PROGRAM, ".d"}, {}},                              // a download in progress
        {{PROGRAM, "Fold"}, {}},                            // a folder, no document
        {{LAUNCHER, ""}, {"Launcher\\ Lamp"}},              // the launcher's working folder
        {{"/usr/bin/" + LAUNCHER, "L"}, {"Launcher\\ Lamp"}},
        {{PROGRAM, "L"}, {}},
        {{PROGRAM, ""}, {}, "."},                           // no cache folder
        {{PROGRAM, "-rc"}, {"-rc"}, "."},
        {{LAUNCHER, ""}, {}, "work", "XDG_DATA_HOME=" + shellQuote(scratch.path() + "/xdg")}, // a file there
        {{LAUNCHER, "-rc"}, {"-rc"}, "work", "HOME="},      // no home to find it in
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.words.back() + " " + row.environment);
        EXPECT_EQ(complete(row.words, row.folder, row.environment), row.replies);
    }
    std::vector<std::string> all = complete({PROGRAM, ""});
    EXPECT_EQ(all.size(), 9u) << ::testing::PrintToString(all);
    EXPECT_FALSE(fileExists(scratch.path() + "/work/ran"));
}

} // namespace
