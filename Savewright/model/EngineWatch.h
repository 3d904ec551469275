#pragma once
// Tells a view, once per turn of the event loop, that something it shows may
// have changed: any observable field of the engine or of one of its tasks.
// Notifiers only; nothing is computed inside a property notification (Qt 6.4
// corrupts a binding whose dependencies grow while a property notifies).

#include "engine/Engine.h"
#include "model/Deferred.h"

#include <QPropertyNotifier>

#include <memory>
#include <vector>

class EngineWatch {
  public:
    // What of the clock a view shows: lights alone, or ages ("vor 5 Min.") too.
    enum class Shows { Lights, LightsAndAges };
    // `changed` learns whether only the clock moved since its last call.
    EngineWatch(Engine* engine, QObject* owner, std::function<void(bool clockOnly)> changed,
                Shows shows = Shows::LightsAndAges);
    // What a view last drew at, the next moment its time texts change, and
    // whether anything ran then (running times change every second).
    struct Shown {
        QDateTime at, next;
        bool running = false;
        // Whether a view that drew as this still shows the truth at `now`,
        // with `runningNow` for whether anything runs.
        bool stillTrue(const QDateTime& now, bool runningNow) const {
            return at.isValid() && !runningNow && now >= at && (!next.isValid() || now < next);
        }
    };
    // Whether a clock-only change can be passed over: nothing runs and no
    // relative time or light changes before `shown.next`. When it cannot, the
    // view is about to draw, and `shown` moves on.
    static bool passOver(const Engine& engine, bool clockOnly, Shown& shown,
                         Shows shows = Shows::LightsAndAges);
    // The same for the view of this watch, which asks the engine to tick when
    // its texts change next. A tick it would pass over is not even passed on.
    bool passOver(bool clockOnly);
    // While false (a closed panel, which catches up when it opens), clock
    // ticks are not passed on at all.
    void setClockMatters(bool matters) { clockMatters_ = matters; }

  private:
    template <typename P>
    void watch(std::vector<std::unique_ptr<QPropertyNotifier>>& into, P& property,
               bool clock = false) {
        // Made in place: moving a property observer in Qt 6.4 breaks the observer list.
        into.push_back(std::unique_ptr<QPropertyNotifier>(
            new QPropertyNotifier(property.addNotifier([this, clock] {
                if (clock && clockOnly_ && !deferred_.pending() && quietTick()) return;
                clockOnly_ = clockOnly_ && clock;
                deferred_.request();
            }))));
    }
    void watchTasks();
    // Only plain values are read here: nothing is computed inside a notification.
    bool quietTick() const;

    Engine* engine_;
    std::function<void(bool)> changed_;
    Shows shows_;
    bool clockOnly_ = true;
    bool clockMatters_ = true;
    Shown shown_;
    Deferred deferred_;
    Engine::TaskList watched_;
    std::vector<std::unique_ptr<QPropertyNotifier>> engineNotifiers_, taskNotifiers_;
};
