// Progress dots: written in batches, never lost.
#include "base/messages.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

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
    flushProgress();
    auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < 200; ++i) printProgressDot();
    bool quick = std::chrono::steady_clock::now() - started < std::chrono::milliseconds(PROGRESS_FLUSH_MS);
    std::string early = capture.written();
    // Unless the machine stalled for a whole batch time, the dots wait in
    // the buffer instead of one write each.
    if (quick) {
        EXPECT_LT(early.size(), 200u) << "each dot was written on its own";
    }
    // A dot that comes a batch time after the last flush flushes them all.
    std::this_thread::sleep_for(std::chrono::milliseconds(PROGRESS_FLUSH_MS + 10));
    printProgressDot();
    EXPECT_EQ(capture.written(), std::string(201, '.'));
    printProgressDot();
    flushProgress();
    EXPECT_EQ(capture.written(), std::string(202, '.'));
}

} // namespace
