#pragma once
// The one way back to the main thread: `work` runs there, later, in order.
// The application object outlives every engine, so posting is always safe from
// any thread; the work checks for itself whether what it needs still exists.

#include <QCoreApplication>
#include <QMetaObject>

#include <atomic>
#include <functional>
#include <memory>
#include <utility>

template <typename F> void postToMain(F&& work) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::forward<F>(work),
                              Qt::QueuedConnection);
}

// For values that only the latest of counts (a run's progress): a report made
// while one is on its way only replaces the value, so a flood posts little.
// `apply` runs on the main thread.
template <typename T> std::function<void(T)> latestToMain(std::function<void(T)> apply) {
    struct Box {
        std::atomic<T> latest{};
        std::atomic<bool> posted{false};
        std::function<void(T)> apply;
    };
    auto box = std::make_shared<Box>();
    box->apply = std::move(apply);
    return [box](T value) {
        box->latest.store(value);
        if (box->posted.exchange(true)) return;
        postToMain([box] {
            box->posted.store(false); // before the read: a later report posts again
            box->apply(box->latest.load());
        });
    };
}
