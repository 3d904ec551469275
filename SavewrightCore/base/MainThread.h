#pragma once
// The one way back to the main thread: `work` runs there, later, in order.
// The application object outlives every engine, so posting is always safe from
// any thread; the work checks for itself whether what it needs still exists.

#include <QCoreApplication>
#include <QMetaObject>

#include <utility>

template <typename F> void postToMain(F&& work) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::forward<F>(work),
                              Qt::QueuedConnection);
}
