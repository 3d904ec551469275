#pragma once
// Runs an update once, on the next turn of the event loop, however often it is
// asked for. Views react to property notifications through it: widget work
// never runs inside a notification, and a burst of changes redraws once.

#include <QObject>
#include <QTimer>

#include <functional>

class Deferred {
  public:
    Deferred(QObject* owner, std::function<void()> work) : owner_(owner), work_(std::move(work)) {}
    bool pending() const { return pending_; }
    void request() {
        if (pending_) return;
        pending_ = true;
        QTimer::singleShot(0, owner_, [this] {
            pending_ = false;
            work_();
        });
    }

  private:
    QObject* owner_;
    std::function<void()> work_;
    bool pending_ = false;
};
