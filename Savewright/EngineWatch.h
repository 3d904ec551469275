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
    EngineWatch(Engine* engine, QObject* owner, std::function<void()> changed);

private:
    template <typename P> void watch(std::vector<std::unique_ptr<QPropertyNotifier>>& into, P& property) {
        // Made in place: moving a property observer in Qt 6.4 breaks the observer list.
        into.push_back(std::unique_ptr<QPropertyNotifier>(
            new QPropertyNotifier(property.addNotifier([this] { deferred_.request(); }))));
    }
    void watchTasks();

    Engine* engine_;
    std::function<void()> changed_;
    Deferred deferred_;
    Engine::TaskList watched_;
    std::vector<std::unique_ptr<QPropertyNotifier>> engineNotifiers_, taskNotifiers_;
};
