// How the system tells the user things: console lines, error texts for the
// caller, and the message boxes that the window layer plugs in.
#pragma once

#include <cstddef>
#include <string>

// Room for any one error message with its terminator. Every caller that
// passes an errorText buffer gives at least this many bytes.
constexpr std::size_t ERROR_TEXT_SIZE = 4096;

// Message boxes of the window layer. The core never includes the toolkit;
// start-up installs these hooks when a window system is available.
struct MessageBoxHooks {
    // Modal box titled "Message", information icon, OK; owned by the dialog
    // once it exists. Returns when the user has dismissed it.
    void (*showInformation)(const char *text);
    // Modal box without owner titled "CorvaneDB template changed. Message:",
    // text = the code text, OK only, no icon.
    void (*showTemplateChanged)(const char *codeText);
};

// Installs the hooks (copied); null removes them.
void setMessageBoxHooks(const MessageBoxHooks *hooks);

// Shows one line to the user: a message box in window mode, a line on
// standard output in console mode.
void showMessage(const char *text);

// Prints a failure message (already ending in a line end where wanted) to
// standard output and copies the same text into errorText when one is given.
// (The Windows build checks the format as the GNU dialect it prints with.)
#ifndef REPORT_FORMAT_ARCHETYPE
#define REPORT_FORMAT_ARCHETYPE printf
#endif
void reportFailure(char *errorText, const char *format, ...)
    __attribute__((format(REPORT_FORMAT_ARCHETYPE, 2, 3)));

// A name (of an item, from the user, a document or the core data) as a
// message shows it: each byte below 0x20 other than the tab, and 0x7F, as
// \xHH (upper-case hex), so that no name can drive the terminal or box that
// shows it. Every other byte as it is.
std::string shownName(const char *name);

// Copies text into errorText (ERROR_TEXT_SIZE bytes) when one is given.
void setErrorText(char *errorText, const char *text);

// Reports a document that does not have the expected shape: prints
// "CorvaneDB template changed. Message: [code].", copies that text into
// errorText, and shows the template box (always in window mode; in console
// mode only when a display is available).
void reportTemplateChanged(const char *codeText, char *errorText);

// Prints one progress dot on standard output. Dots are written in batches:
// standard output is flushed when the last flush lies the batch time or
// more behind, and by flushProgress.
constexpr int PROGRESS_FLUSH_MS = 50;
void printProgressDot();

// Sets the batch time of the dots (PROGRESS_FLUSH_MS at process start).
void setProgressBatchTime(int milliseconds);

// Flushes the dots printed so far: before the program waits (for the web
// service) and when a generation ends.
void flushProgress();
