// A display that cannot be reached: the template box is left out and the
// console run goes on; the window mode ends with its message. Neither may
// end the process in the toolkit.
#include <gtest/gtest.h>

#include <string>

#include "support/console_run.h"
#include "support/documents.h"
#include "support/temp_folder.h"

namespace {

// An X display number with no server behind it.
std::string unusedDisplay() {
    for (int number = 93;; ++number)
        if (!fileExists("/tmp/.X11-unix/X" + std::to_string(number)) &&
            !fileExists("/tmp/.X" + std::to_string(number) + "-lock"))
            return "DISPLAY=:" + std::to_string(number);
}

TEST(BrokenDisplay, ConsoleRunPrintsTheTemplateReportAndGoesOn) {
    TempFolder folder;
    writeFile("cache/corvanedbcore", "\"ingredients\":{\"1\":{\"name\":\"A\"}}");
    // Odd's first entry has no amount: report "5"; Good is expanded after it.
    writeFile("cache/Odd", "{\"item\":{\"name\":\"Odd\",\"id\":\"7\",\"craft\":[{\"job\":1,"
                           "\"ingredients\":[{\"id\":1,\"n\":1}]}]}}");
    cacheDocument("Good", itemDocument("Good", 8, "", 1, 1, {{9, 2, "Part"}}));
    cacheDocument("Part", itemDocument("Part", 9));
    for (const std::string &environment :
         {unusedDisplay(), unusedDisplay() + " WAYLAND_DISPLAY=no-such-wayland",
          unusedDisplay() + " QT_QPA_PLATFORM=xcb"}) {
        SCOPED_TRACE(environment);
        ConsoleRun run = runConsole({"Odd", "Good", "3"}, environment);
        EXPECT_EQ(run.exitCode, 0);
        std::string tail = run.output.substr(run.output.find("items.\n") + 7);
        EXPECT_EQ(tail, ".CorvaneDB template changed. Message: [5].\n..\n   6 Part\n");
    }
}

TEST(BrokenDisplay, WindowModeSaysSoAndEnds) {
    TempFolder folder;
    writeFile("cache/corvanedbcore", "\"ingredients\":{}");
    ConsoleRun run = runDetached({}, unusedDisplay());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "No display to show the window on, and no terminal for the console mode: "
                          "start the program from a terminal or a desktop session.\n");
}

} // namespace
