#include "EngineWatch.h"

#include "model/ViewModel.h"

EngineWatch::EngineWatch(Engine* engine, QObject* owner, std::function<void(bool)> changed,
                         Shows shows)
    : engine_(engine), changed_(std::move(changed)), shows_(shows), deferred_(owner, [this] {
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

bool EngineWatch::passOver(const Engine& engine, bool clockOnly, Shown& shown, Shows shows) {
    const QDateTime now = engine.now.value();
    const bool running = engine.anyRunning();
    // A clock set back makes every text stale.
    if (clockOnly && shown.stillTrue(now, running)) return true;
    shown = {now, ViewModel::nextChange(engine, shows == Shows::LightsAndAges), running};
    return false;
}

bool EngineWatch::passOver(bool clockOnly) {
    const bool over = passOver(*engine_, clockOnly, shown_, shows_);
    if (clockMatters_) engine_->wakeAt(shown_.next);
    return over;
}

bool EngineWatch::quietTick() const {
    // A start or an end since the last draw is a change of its own, never a
    // tick: what ran then still runs.
    return !clockMatters_ || shown_.stillTrue(engine_->now.value(), shown_.running);
}
