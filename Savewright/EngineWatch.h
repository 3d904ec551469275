#pragma once
// Tells a view, once per turn of the event loop, that something it shows may
// have changed: any observable field of the engine or of one of its tasks.
// Notifiers only; nothing is computed inside a property notification (Qt 6.4
// corrupts a binding whose dependencies grow while a property notifies).

#include "Deferred.h"
#include "engine/Engine.h"

#include <QPropertyNotifier>

#include <memory>
#include <vector>

class EngineWatch {
  public:
    // `changed` learns whether only the clock moved since its last call.
    EngineWatch(Engine* engine, QObject* owner, std::function<void(bool clockOnly)> changed);
    // Whether a clock-only change can be passed over: nothing runs and the minute,
    // which the relative times and the lights are shown at, is the one last shown.
    static bool sameMinute(const Engine& engine, qint64& shownMinute);

  private:
    template <typename P>
    void watch(std::vector<std::unique_ptr<QPropertyNotifier>>& into, P& property,
               bool clock = false) {
        // Made in place: moving a property observer in Qt 6.4 breaks the observer list.
        into.push_back(std::unique_ptr<QPropertyNotifier>(
            new QPropertyNotifier(property.addNotifier([this, clock] {
                clockOnly_ = clockOnly_ && clock;
                deferred_.request();
            }))));
    }
    void watchTasks();

    Engine* engine_;
    std::function<void(bool)> changed_;
    bool clockOnly_ = true;
    Deferred deferred_;
    Engine::TaskList watched_;
    std::vector<std::unique_ptr<QPropertyNotifier>> engineNotifiers_, taskNotifiers_;
};
