// Console lines, error texts and the hooks to the window layer's boxes.
#include "base/messages.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/display_check.h"
#include "base/process_state.h"

static MessageBoxHooks messageBoxHooks = {};

void setMessageBoxHooks(const MessageBoxHooks *hooks) {
    messageBoxHooks = hooks ? *hooks : MessageBoxHooks{};
}

void showMessage(const char *text) {
    if (windowMode && messageBoxHooks.showInformation) {
        messageBoxHooks.showInformation(text);
        return;
    }
    std::printf("%s\n", text);
    std::fflush(stdout);
}

std::string shownName(const char *name) {
    static const char HEX[] = "0123456789ABCDEF";
    std::string shown;
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(name); *c; ++c) {
        if ((*c < 0x20 && *c != '\t') || *c == 0x7F) {
            shown += "\\x";
            shown += HEX[*c >> 4];
            shown += HEX[*c & 15];
        } else {
            shown += static_cast<char>(*c);
        }
    }
    return shown;
}

void setErrorText(char *errorText, const char *text) {
    if (!errorText) return;
    std::snprintf(errorText, ERROR_TEXT_SIZE, "%s", text);
}

void reportFailure(char *errorText, const char *format, ...) {
    char text[ERROR_TEXT_SIZE];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    std::fputs(text, stdout);
    std::fflush(stdout);
    setErrorText(errorText, text);
}


void reportTemplateChanged(const char *codeText, char *errorText) {
    reportFailure(errorText, "CorvaneDB template changed. Message: [%s].\n", codeText);
    if (messageBoxHooks.showTemplateChanged && (windowMode || displayAvailable()))
        messageBoxHooks.showTemplateChanged(codeText);
}

static int progressFlushMilliseconds = PROGRESS_FLUSH_MS;
static std::chrono::steady_clock::time_point lastProgressFlush;
static bool progressPending = false;

void setProgressBatchTime(int milliseconds) { progressFlushMilliseconds = milliseconds; }

void printProgressDot() {
    std::fputc('.', stdout);
    auto now = std::chrono::steady_clock::now();
    if (now - lastProgressFlush >= std::chrono::milliseconds(progressFlushMilliseconds)) {
        std::fflush(stdout);
        lastProgressFlush = now;
        progressPending = false;
    } else {
        progressPending = true;
    }
}

void flushProgress() {
    if (!progressPending) return;
    std::fflush(stdout);
    lastProgressFlush = std::chrono::steady_clock::now();
    progressPending = false;
}
