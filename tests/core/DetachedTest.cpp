// Deadlines: many waits share one thread, and each fires once, not before its time.
#include "platform/Detached.h"

#include <QDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

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

// Work runs in turn on one thread; an owner never waits for work that hangs,
// and once it is gone the thread ends after the work it had.
TEST(WorkThread, RunsWorkInTurnOnOneThreadAndEndsAfterItsOwner) {
    // A first thread brings up a sanitizer's own helper thread, if any.
    std::thread([] {}).join();
    const qsizetype before = threads();
    std::atomic<bool> release{false};
    std::atomic<int> done{0};
    std::vector<std::thread::id> ranOn(50);
    std::vector<int> order;
    {
        WorkThread worker;
        ASSERT_TRUE(worker.post([&] {
            while (!release)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }));
        for (int i = 0; i < 50; ++i)
            ASSERT_TRUE(worker.post([&, i] {
                ranOn[size_t(i)] = std::this_thread::get_id();
                order.push_back(i); // one thread: no lock needed
                ++done;
            }));
        EXPECT_EQ(threads(), before + 1) << "one thread for all the work";
    } // the owner goes while the first work still hangs
    EXPECT_EQ(done, 0);
    release = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while ((done < 50 || threads() > before) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(done, 50);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(order[size_t(i)], i);
        EXPECT_EQ(ranOn[size_t(i)], ranOn[0]);
    }
    EXPECT_NE(ranOn[0], std::this_thread::get_id());
    EXPECT_EQ(threads(), before) << "the thread ended after its work";
}

// Both halves run at once: each waits until the other has begun, which only
// two threads can do, and both are done when the call returns.
TEST(RunAlongside, RunsBothAtOnceAndReturnsWhenBothAreDone) {
    std::atomic<bool> thereBegan{false}, hereBegan{false};
    std::thread::id thereOn;
    bool thereDone = false, hereDone = false;
    const auto waitFor = [](const std::atomic<bool>& other) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!other && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        return other.load();
    };
    runAlongside(
        [&] {
            thereBegan = true;
            thereOn = std::this_thread::get_id();
            thereDone = waitFor(hereBegan);
        },
        [&] {
            hereBegan = true;
            hereDone = waitFor(thereBegan);
        });
    EXPECT_TRUE(thereDone);
    EXPECT_TRUE(hereDone);
    EXPECT_NE(thereOn, std::this_thread::get_id());
}
