// Work handed to the main thread: from any thread, in order, on the main thread,
// and never in a way that keeps the event loop from its timers.
#include "base/MainThread.h"
#include "support/EventLoop.h"

#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <thread>
#include <vector>

TEST(MainThread, WorkFromManyThreadsRunsThereInTheOrderEachPostedIt) {
    constexpr int kThreads = 4, kEach = 2000;
    std::vector<std::vector<int>> seen(kThreads);
    int offMain = 0;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t)
        posters.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i)
                postToMain([&, t, i] {
                    if (QThread::currentThread() != QCoreApplication::instance()->thread())
                        ++offMain;
                    seen[t].push_back(i);
                });
        });
    for (std::thread& p : posters)
        p.join();
    ASSERT_TRUE(waitUntil([&] {
        return std::all_of(seen.begin(), seen.end(),
                           [&](const std::vector<int>& s) { return s.size() == kEach; });
    }));
    EXPECT_EQ(offMain, 0);
    for (const std::vector<int>& s : seen)
        EXPECT_TRUE(std::is_sorted(s.begin(), s.end()));
}

TEST(MainThread, WorkThatPostsWorkLetsTimersRunBetween) {
    int rounds = 0;
    bool timerRan = false, timerRanBeforeTheEnd = false;
    std::function<void()> again = [&] {
        if (++rounds == 1) // due while the chain is under way
            QTimer::singleShot(0, QCoreApplication::instance(), [&] { timerRan = true; });
        if (rounds < 100)
            postToMain(again);
        else
            timerRanBeforeTheEnd = timerRan;
    };
    postToMain(again);
    ASSERT_TRUE(waitUntil([&] { return rounds == 100; }, 10000));
    EXPECT_TRUE(timerRanBeforeTheEnd) << "a chain of posted work starved the event loop";
}

TEST(MainThread, RunPostedToMainDeliversWithoutTheLoop) {
    int ran = 0;
    postToMain([&] { ++ran; });
    postToMain([&] { postToMain([&] { ++ran; }); });
    runPostedToMain();
    EXPECT_EQ(ran, 1) << "what the work posts waits for the next delivery";
    runPostedToMain();
    EXPECT_EQ(ran, 2);
}
