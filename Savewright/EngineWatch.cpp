#include "EngineWatch.h"

EngineWatch::EngineWatch(Engine* engine, QObject* owner, std::function<void(bool)> changed)
    : engine_(engine), changed_(std::move(changed)), deferred_(owner, [this] {
          if (engine_->tasks.value() != watched_) watchTasks();
          changed_(std::exchange(clockOnly_, true));
      }) {
    watch(engineNotifiers_, engine->tasks);
    watch(engineNotifiers_, engine->paused);
    watch(engineNotifiers_, engine->problems);
    watch(engineNotifiers_, engine->now, true);
    watch(engineNotifiers_, engine->latestDeletionReport);
    watch(engineNotifiers_, engine->deletionReportUnseen);
    watch(engineNotifiers_, engine->availableUpdate);
    watch(engineNotifiers_, engine->volumePresence);
    watchTasks();
}

void EngineWatch::watchTasks() {
    taskNotifiers_.clear();
    watched_ = engine_->tasks.value();
    for (const auto& t : watched_) {
        watch(taskNotifiers_, t->config);
        watch(taskNotifiers_, t->summary);
        watch(taskNotifiers_, t->running);
        watch(taskNotifiers_, t->startTime);
        watch(taskNotifiers_, t->progress);
        watch(taskNotifiers_, t->transientError);
        watch(taskNotifiers_, t->waiting);
        watch(taskNotifiers_, t->probing);
        watch(taskNotifiers_, t->runningElsewhere);
    }
}

bool EngineWatch::sameMinute(const Engine& engine, qint64& shownMinute) {
    const qint64 minute = engine.now.value().toSecsSinceEpoch() / 60;
    if (minute == shownMinute && !engine.anyRunning()) return true;
    shownMinute = minute;
    return false;
}
