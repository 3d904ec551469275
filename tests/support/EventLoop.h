#pragma once
// Drives the event loop in tests until a condition holds.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>

inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}
