#pragma once
// The one way back to the main thread: `work` runs there, later, in order.
// The application object outlives every engine, so posting is always safe from
// any thread; the work checks for itself whether what it needs still exists.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <utility>

void postToMain(std::function<void()> work);

// Runs, on the main thread and at once, what was posted before the call; the
// event loop calls it, and tests that deliver without a loop.
void runPostedToMain();

// For values that only the latest of counts (a run's progress): a report made
// while one is on its way only replaces the value, so a flood posts little, and
// values are applied at most once per `gapMs`, the last one always. `apply`
// runs on the main thread.
template <typename T>
std::function<void(T)> latestToMain(std::function<void(T)> apply, int gapMs = 0) {
    struct Box {
        std::atomic<T> latest{};
        std::atomic<bool> posted{false};
        std::function<void(T)> apply;
        QElapsedTimer sinceApplied; // main thread only
    };
    auto box = std::make_shared<Box>();
    box->apply = std::move(apply);
    const auto deliver = [box] {
        box->posted.store(false); // before the read: a later report posts again
        box->sinceApplied.start();
        box->apply(box->latest.load());
    };
    return [box, gapMs, deliver](T value) {
        box->latest.store(value);
        if (box->posted.exchange(true)) return;
        postToMain([box, gapMs, deliver] {
            const qint64 since =
                box->sinceApplied.isValid() ? box->sinceApplied.elapsed() : qint64(gapMs);
            if (since >= gapMs)
                deliver();
            else // still "posted": what comes meanwhile only replaces the value
                QTimer::singleShot(static_cast<int>(gapMs - since), QCoreApplication::instance(),
                                   deliver);
        });
    };
}
