#include "EngineWatch.h"

EngineWatch::EngineWatch(Engine* engine, QObject* owner, std::function<void(bool)> changed)
    : engine_(engine), changed_(std::move(changed)), deferred_(owner, [this] {
          if (engine_->tasks.value() != watched_) watchTasks();
          changed_(std::exchange(clockOnly_, true));
      }) {
    engine->forEachObservable(
        [this](auto& property, bool clock) { watch(engineNotifiers_, property, clock); });
    watchTasks();
}

void EngineWatch::watchTasks() {
    taskNotifiers_.clear();
    watched_ = engine_->tasks.value();
    for (const auto& t : watched_)
        t->forEachObservable([this](auto& property) { watch(taskNotifiers_, property); });
}

bool EngineWatch::sameMinute(const Engine& engine, qint64& shownMinute) {
    const qint64 minute = engine.now.value().toSecsSinceEpoch() / 60;
    if (minute == shownMinute && !engine.anyRunning()) return true;
    shownMinute = minute;
    return false;
}
