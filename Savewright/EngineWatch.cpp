#include "EngineWatch.h"

EngineWatch::EngineWatch(Engine* engine, QObject* owner, std::function<void()> changed)
    : engine_(engine), changed_(std::move(changed)), deferred_(owner, [this] {
          if (engine_->tasks.value() != watched_) watchTasks();
          changed_();
      }) {
    watch(engineNotifiers_, engine->tasks);
    watch(engineNotifiers_, engine->paused);
    watch(engineNotifiers_, engine->problems);
    watch(engineNotifiers_, engine->now);
    watch(engineNotifiers_, engine->latestDeletionReport);
    watch(engineNotifiers_, engine->deletionReportUnseen);
    watch(engineNotifiers_, engine->availableUpdate);
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
