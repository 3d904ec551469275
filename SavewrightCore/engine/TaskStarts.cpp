// When a task starts, and carrying the start out on a thread of its own.
#include "Engine.h"

#include "base/Language.h"
#include "base/MainThread.h"
#include "execution/TaskRunner.h"
#include "platform/Detached.h"
#include "platform/Mounts.h"
#include "records/Schedule.h"

#include <QFileInfo>
#include <QPointer>

#include <thread>

namespace {

constexpr qint64 kProbeHoldSeconds = 60;
constexpr qint64 kFirstRetrySeconds = 60;
constexpr qint64 kLongestRetrySeconds = 3600;

bool idle(const TaskState& t) {
    return !t.running && !t.runningElsewhere;
}

// The run's own fields, cleared when it ends, whether or not the engine still exists.
void endRun(TaskState& t) {
    t.running = false;
    t.startTime = std::nullopt;
    t.progress = std::nullopt;
    t.runner = nullptr;
}

// Within the pause after failed runs that only a user's start lifts.
bool backingOff(const TaskState& t, const QDateTime& now) {
    const auto retry = t.retryAfter.value();
    return retry && now < *retry;
}

// A start that goes ahead as soon as nothing else holds it: asked for by the
// user, or a schedule start waiting for its volume outside any back-off.
bool startPending(const TaskState& t, const QDateTime& now) {
    const auto p = t.pending.value();
    return p && p->phase == PendingStart::Phase::Waiting &&
           !(p->origin == PendingStart::Origin::Schedule && backingOff(t, now));
}

} // namespace

qint64 Engine::retryDelaySeconds(int failures) {
    if (failures <= 0) return 0;
    qint64 delay = kFirstRetrySeconds;
    for (int i = 1; i < failures && delay < kLongestRetrySeconds; ++i)
        delay *= 2;
    return std::min(delay, kLongestRetrySeconds);
}

bool Engine::scheduleDue(const TaskState& task) const {
    return Schedule::isDue(task.config.value(), task.scheduleSuccess(now), now,
                           [this](const QString& v) { return volumePresentNow(v); });
}

bool Engine::startRunPending(const TaskState& t) const {
    if (observeOnly || paused || repositoryHung_ || !startedAt_.isValid() ||
        startedAt_.secsTo(now) >= kStartRunsWaitSeconds)
        return false;
    const TaskConfig& c = t.config.value();
    if (c.type == TaskType::External || c.hold) return false;
    if (t.running || t.pending.value()) return true;
    const auto probeFailed = t.lastProbeFailure.value();
    return scheduleDue(t) && !holdFor(t) && !backingOff(t, now) &&
           !(probeFailed && *probeFailed >= startedAt_);
}

void Engine::startReady() {
    updateHolds(); // what holds a task is shown whether or not anything starts
    if (observeOnly || shuttingDown) return;
    TaskList idleTasks;
    for (const auto& t : tasks.value())
        if (idle(*t)) idleTasks.append(t);
    for (const auto& t : idleTasks)
        if (isRed(*t)) startIfReady(t);

    const bool redInFlight = redStartInFlight();
    for (const auto& t : idleTasks)
        if (!isRed(*t) && (!redInFlight || t->pending.value())) startIfReady(t);
    armTick();
}

// A task that started red still runs, or a red task is on its way to a start.
bool Engine::redStartInFlight() const {
    const TaskList& list = tasks.value();
    return std::any_of(list.cbegin(), list.cend(), [this](const auto& t) {
        if (!idle(*t)) return t->startedRed.value();
        return isRed(*t) && t->config.value().type != TaskType::External &&
               (t->probing() || startPending(*t, now));
    });
}

void Engine::startIfReady(const std::shared_ptr<TaskState>& task) {
    if (task->running || task->runningElsewhere || task->probing()) return;
    const TaskConfig& c = task->config.value();
    if (c.type == TaskType::External || c.hold) return;
    // What the logs say is unknown until they answered: a task would look as if
    // it never ran.
    const bool due =
        !paused && logsRead_ && !repositoryHung_ && !holdFor(*task) && scheduleDue(*task);
    const std::optional<PendingStart> pending = task->pending.value();
    if (!pending && !due) return;
    if (volumeBusy(*task)) {
        if (!pending) task->pending = PendingStart{};
        return;
    }
    // Automatic starts wait out a recent failed probe and the back-off after failed
    // runs; a start someone asked for does not.
    if (!pending) {
        const auto failure = task->lastProbeFailure.value();
        if (failure && failure->secsTo(now) < kProbeHoldSeconds) return;
    }
    const PendingStart start = pending.value_or(PendingStart{});
    if (start.origin == PendingStart::Origin::Schedule && backingOff(*task, now)) return;
    if (c.watchVolumes.isEmpty()) {
        task->pending = std::nullopt;
        launch(task, start.dryRun);
    } else {
        probeThenLaunch(task, start);
    }
}

// Asks the volumes one after another; every answer continues on the main thread.
struct Engine::VolumeProbe : std::enable_shared_from_this<VolumeProbe> {
    QPointer<Engine> engine;
    std::weak_ptr<TaskState> task;
    QStringList volumes;
    QSet<QString> answered;
    qsizetype next = 0;

    void step() {
        const auto t = task.lock();
        if (!engine || !t) return;
        if (next == volumes.size()) return engine->finishProbe(t, answered);
        const QString volume = volumes[next++];
        engine->volumeResponds(volume, [self = shared_from_this(), volume](bool ok) {
            postToMain([self, volume, ok] {
                if (ok) self->answered.insert(volume);
                self->step();
            });
        });
    }
};

void Engine::probeThenLaunch(const std::shared_ptr<TaskState>& task, PendingStart start) {
    start.phase = PendingStart::Phase::Probing;
    task->pending = start;
    auto probe = std::make_shared<VolumeProbe>();
    probe->engine = this;
    probe->task = task;
    probe->volumes = task->config.value().watchVolumes;
    probe->step();
}

void Engine::finishProbe(const std::shared_ptr<TaskState>& task, const QSet<QString>& answered) {
    const PendingStart start = task->pending.value().value_or(PendingStart{});
    task->pending = std::nullopt;
    const bool dryRun = start.dryRun;
    const TaskConfig& c = task->config.value();
    if (Schedule::volumesMounted(c, [&](const QString& v) { return answered.contains(v); })) {
        task->lastProbeFailure = std::nullopt;
        launch(task, dryRun);
    } else {
        task->lastProbeFailure = now.value();
        if (dryRun || start.origin == PendingStart::Origin::ThisTask) {
            QStringList missing;
            for (const QString& v : c.watchVolumes)
                if (!answered.contains(v))
                    missing.append(QFileInfo(Mounts::withoutTrailingSlashes(v)).fileName());
            task->transientError =
                Language::translate("TaskStarts", "Volume fehlt: ") + missing.join(u", ");
        }
    }
}

void Engine::launch(const std::shared_ptr<TaskState>& task, bool dryRun) {
    if (shuttingDown) return;
    std::weak_ptr<TaskState> progressTarget = task;
    auto runner = std::make_shared<TaskRunner>(task->config.value(), paths, dryRun,
                                               latestToMain<int>(
                                                   [progressTarget](int percent) {
                                                       const auto t = progressTarget.lock();
                                                       if (t && t->running) t->progress = percent;
                                                   },
                                                   TaskRunner::kProgressGapMs),
                                               clock);
    const auto started = clock();
    task->startedRed = isRed(*task);
    task->runner = runner;
    startedRuns_.removeIf([](const std::weak_ptr<TaskRunner>& r) { return r.expired(); });
    startedRuns_.append(runner);
    task->running = true;
    task->startTime = LogTime::toDateTime(started);
    task->progress = std::nullopt;
    task->transientError = std::nullopt;
    QPointer<Engine> engine(this);
    const bool threaded = startRun(
        task->config.value().name, [runner, started] { return runner->run(started); },
        // The task and the runner are released on the main thread, with the completion.
        [task, runner, engine, dryRun](const TaskRunner::Result& result) {
            if (engine)
                engine->finishRun(*task, dryRun, result);
            else
                endRun(*task);
        });
    if (!threaded) {
        startedRuns_.removeLast(); // never runs, so nothing to stop or wait for
        endRun(*task);
        task->transientError =
            Language::translate("TaskStarts", "Lauf nicht gestartet: kein Thread frei");
        return;
    }
    if (!dryRun) ping(task->config.value(), Ping::Event::Start);
    armTick(); // running: every second
}

bool Engine::runOnThread(const QString&, RunWork run, RunEnd end) {
    return startDetached([run = std::move(run), end = std::move(end)]() mutable {
        TaskRunner::Result result = run();
        // Whatever the two hold is let go on the main thread, with the end.
        postToMain([run = std::move(run), end = std::move(end), result = std::move(result)] {
            end(result);
        });
    });
}

void Engine::ping(const TaskConfig& task, Ping::Event event, const QString& output) {
    if (task.pingURL.isEmpty() || !sendPing) return;
    sendPing(Ping::address(task.pingURL, event), Ping::body(output));
}

void Engine::finishRun(TaskState& task, bool dryRun, const TaskRunner::Result& result) {
    const std::optional<QDateTime> started = task.startTime;
    const bool success = result.success;
    endRun(task);
    if (!result.heldElsewhere) held_.remove(task.id); // it ran: the spell is over
    // No log tells of this run: the row must.
    if (result.logError)
        task.transientError =
            Language::translate("TaskStarts", "Log nicht schreibbar: ") + *result.logError;
    if (dryRun) {
        if (!success) task.transientError = result.error;
        // A dry run leaves no log: what rsync would have done is shown instead.
        if (onDryRunFinished)
            onDryRunFinished(task.config.value().name, result.output, result.error);
    } else if (success) {
        ping(task.config.value(), Ping::Event::Success, result.output);
        task.failedRuns = 0;
        task.retryAfter = std::nullopt;
        task.unseenSuccess = started;
    } else if (result.cancelled) {
        // Stopped on request: nothing failed, so nothing to report. But what the
        // person stopped must not start again by itself at once: the schedule
        // waits as after a first failure; a start by hand goes at once.
        if (!shuttingDown) task.retryAfter = currentTime().addSecs(retryDelaySeconds(1));
    } else if (result.heldElsewhere) {
        // Not run at all; the schedule tries again in a minute, not at once.
        task.transientError = result.error;
        task.retryAfter = currentTime().addSecs(retryDelaySeconds(1));
        if (!held_.contains(task.id)) held_.insert(task.id, {currentTime(), false});
    } else if (settling() && started && *started < resumedAt_) {
        // It slept with the machine and failed while the network came back.
        if (result.logFile) forgivenFailures_.insert(*result.logFile);
    } else {
        ping(task.config.value(), Ping::Event::Fail, result.output);
        task.failedRuns = task.failedRuns + 1;
        task.retryAfter = currentTime().addSecs(retryDelaySeconds(task.failedRuns));
    }
    refreshLogs();
    startReady();
}

void Engine::runNow(const std::shared_ptr<TaskState>& task, bool dryRun) {
    if (observeOnly || task->running || task->runningElsewhere || task->probing() ||
        task->config.value().type == TaskType::External || task->config.value().hold)
        return;
    task->transientError = std::nullopt;
    task->pending = PendingStart{PendingStart::Origin::ThisTask, dryRun};
    if (!dryRun) {
        task->failedRuns = 0;
        task->retryAfter = std::nullopt;
    }
    startReady();
}

void Engine::runAll() {
    if (observeOnly) return;
    for (const auto& t : tasks.value()) {
        const TaskConfig& c = t->config.value();
        // One that asks its volumes is on its way already.
        if (!idle(*t) || t->probing() || c.type == TaskType::External || c.hold) continue;
        if (Schedule::volumesMounted(c, [this](const QString& v) { return volumePresentNow(v); })) {
            t->pending = PendingStart{PendingStart::Origin::AllTasks};
            t->failedRuns = 0;
            t->retryAfter = std::nullopt;
        }
    }
    startReady();
}

void Engine::cancel(const std::shared_ptr<TaskState>& task) {
    if (const auto runner = task->runner.value())
        runner->cancel(false, QString::fromUtf8(TaskRunner::kStoppedByHand));
}
