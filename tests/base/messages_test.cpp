// Progress dots: written in batches, never lost.
#include "base/messages.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/temp_folder.h"

namespace {

// Standard output into a file of the test's folder, which the test reads
// while the capture goes on.
class DotCapture {
public:
    DotCapture() {
        std::fflush(stdout);
        saved = dup(STDOUT_FILENO);
        std::FILE *file = std::fopen("dots", "wb");
        dup2(fileno(file), STDOUT_FILENO);
        std::fclose(file);
    }
    ~DotCapture() {
        std::fflush(stdout);
        dup2(saved, STDOUT_FILENO);
        close(saved);
    }
    std::string written() const { return readFile("dots"); }

private:
    int saved;
};

TEST(ProgressDots, WrittenInBatchesAndAllThereAfterAFlush) {
    TempFolder folder(false);
    DotCapture capture;
    // No batch time: every dot is written at once.
    setProgressBatchTime(0);
    printProgressDot();
    EXPECT_EQ(capture.written(), ".");
    // Within a batch time of the last flush, however slowly they come, the
    // dots wait in the buffer instead of one write each.
    setProgressBatchTime(3600 * 1000);
    for (int i = 0; i < 200; ++i) printProgressDot();
    EXPECT_EQ(capture.written(), ".") << "each dot was written on its own";
    // A dot that comes a batch time after the last flush flushes them all,
    // and so does the flush at the end of a generation.
    setProgressBatchTime(0);
    printProgressDot();
    EXPECT_EQ(capture.written(), std::string(202, '.'));
    setProgressBatchTime(3600 * 1000);
    printProgressDot();
    flushProgress();
    EXPECT_EQ(capture.written(), std::string(203, '.'));
    setProgressBatchTime(PROGRESS_FLUSH_MS);
}

TEST(ShownName, ControlBytesButTheTabAsHex) {
    EXPECT_EQ(shownName("a\tb\x01\x1f \x7f\xc3\xa8~"), "a\tb\\x01\\x1F \\x7F\xc3\xa8~");
}

} // namespace
