// Helpers for the installation tests: a real `cmake --install` into a
// temporary prefix, commands run through the shell, desktop entry reading,
// and the launcher run as a desktop or a terminal would start it.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "support/console_run.h"

// The names the installation uses, as users and desktops see them.
inline const std::string APP_ID = "org.tavro.ShoppingList";
inline const std::string LAUNCHER = "tavro-shopping-list";
inline const std::string PROGRAM = "shopping-list";
inline const std::string PACKAGE = "tavro-shopping-list";

// Where the installation puts its files, relative to the prefix.
inline const std::string ENTRY = "share/applications/" + APP_ID + ".desktop";
inline const std::string SVG_ICON = "share/icons/hicolor/scalable/apps/" + APP_ID + ".svg";
inline const std::string PNG_ICON = "share/icons/hicolor/48x48/apps/" + APP_ID + ".png";
inline const std::string DOC = "share/doc/tavro-shopping-list/";
inline const std::string WINDOW_MODULE = "lib/tavro-shopping-list/modules/libtavro-shopping-list-ui.so";
inline const std::string MANUAL = "share/man/man1/";
inline const std::string COMPLETIONS = "share/bash-completion/completions/";
inline const std::string METAINFO = "share/metainfo/" + APP_ID + ".metainfo.xml";

// Every file that the installation and the package put down, and its mode
// (of the file it links to, for a symbolic link).
struct InstalledFile {
    std::string path;
    int mode;
    std::string linkTarget = ""; // for a symbolic link
};
inline const std::vector<InstalledFile> INSTALLED_FILES = {
    {"bin/" + PROGRAM, 0755},
    {"bin/" + LAUNCHER, 0755},
    {DOC + "README.md", 0644},
    {DOC + "copyright", 0644},
    {DOC + "changelog.gz", 0644},
    {ENTRY, 0644},
    {PNG_ICON, 0644},
    {SVG_ICON, 0644},
    {WINDOW_MODULE, 0644},
    {MANUAL + PROGRAM + ".1.gz", 0644},
    {MANUAL + LAUNCHER + ".1.gz", 0644},
    {COMPLETIONS + PROGRAM, 0644},
    {COMPLETIONS + LAUNCHER, 0644, PROGRAM},
    {METAINFO, 0644},
};

struct CommandResult {
    std::string output; // standard output and standard error
    int exitCode;       // -1 when the command did not end normally
};

// Runs a shell command, its standard input from /dev/null.
CommandResult runCommand(const std::string &command);

// A fresh temporary folder, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;
    const std::string &path() const { return folder; }

private:
    std::string folder;
};

// The project installed with `cmake --install <build dir> --prefix <prefix>`
// into a prefix inside a scratch folder. The default prefix name holds a
// space, as an installation path may.
class InstalledPrefix {
public:
    explicit InstalledPrefix(const std::string &prefixName = "install prefix");
    const std::string &prefix() const { return prefixPath; }
    std::string path(const std::string &relative) const { return prefixPath + "/" + relative; }
    // What `cmake --install` printed, and whether it succeeded.
    const CommandResult &installRun() const { return run; }

private:
    ScratchFolder scratch;
    std::string prefixPath;
    CommandResult run;
};

// The project installed once for all the tests of this process, into the
// default prefix; removed when the process ends.
const InstalledPrefix &sharedInstall();

// Every regular file and symbolic link under a folder, relative to it, sorted.
std::vector<std::string> filesUnder(const std::string &folder);

// Permission bits of a file (st_mode & 07777), or -1 when it does not exist.
int fileMode(const std::string &path);

// The keys of the [Desktop Entry] group of a desktop entry file.
std::map<std::string, std::string> desktopEntryKeys(const std::string &path);

// The first argument of an Exec value, with the desktop entry format's string
// escapes, quoting and %% undone.
std::string execProgram(const std::string &execValue);

// Width and height from a PNG file's header; {0, 0} when it is no PNG.
std::pair<int, int> pngSize(const std::string &path);

// The launcher run under a pseudo-terminal (script -qec), which gives the
// program its console mode; in `folder`, with `environment` put before the
// command as for env(1) ("-u NAME" entries remove a variable).
CommandResult runInTerminal(const std::string &folder, const std::string &launcher,
                            const std::vector<std::string> &arguments,
                            const std::vector<std::string> &environment);

// The option pairs (short form, long form) of the usage list that the
// installed program prints, run under a terminal without arguments.
std::vector<std::pair<std::string, std::string>> usageOptions(const InstalledPrefix &installed);
