// Deadlines: many waits share one thread, and each fires once, not before its time.
#include "platform/Detached.h"

#include <QDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

qsizetype threads() {
    return QDir(QStringLiteral("/proc/self/task"))
        .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
        .size();
}

} // namespace

TEST(Deadlines, TwoHundredWaitsShareOneThreadAndEachFiresOnceOnTime) {
    afterDelay(std::chrono::milliseconds(0), [] {}); // its thread is there from now on
    const qsizetype before = threads();
    using namespace std::chrono;
    const auto start = steady_clock::now();
    std::atomic<int> fired{0}, early{0};
    for (int i = 0; i < 200; ++i) {
        const auto delay = milliseconds(50 + (i * 37) % 100);
        afterDelay(delay, [&, delay, start] {
            if (steady_clock::now() - start < delay) ++early;
            ++fired;
        });
    }
    EXPECT_EQ(threads(), before) << "no thread of its own per wait";
    const auto deadline = steady_clock::now() + seconds(5);
    while (fired < 200 && steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(10));
    EXPECT_EQ(fired, 200);
    EXPECT_EQ(early, 0);
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_EQ(fired, 200) << "once each";
}
