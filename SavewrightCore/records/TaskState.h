#pragma once
// The live record of one configured task: configuration, what its logs say and
// the flags of a start in progress. Main thread only; every field notifies its
// observers only when its value changes.

#include "LogStore.h"
#include "Schedule.h"
#include "config/AppConfig.h"

#include <QObject>
#include <QProperty>

#include <memory>

class TaskRunner;

// A start under way before its run begins: who asked for it, whether it is a
// dry run, and whether it still waits (for a busy volume) or asks the volumes.
struct PendingStart {
    enum class Origin {
        Schedule, // due, waiting for a volume another run uses; held back like any automatic start
        AllTasks, // "start all"
        ThisTask, // asked for this task: a missing volume is said in its row
    };
    enum class Phase { Waiting, Probing };
    Origin origin = Origin::Schedule;
    bool dryRun = false;
    Phase phase = Phase::Waiting;
    friend bool operator==(const PendingStart&, const PendingStart&) = default;
};

// Why automatic starts of a task wait: `key` for programs ("battery", …),
// `text` for people ("Akkubetrieb", …).
struct Hold {
    QString key;
    QString text;
    friend bool operator==(const Hold&, const Hold&) = default;
};

class TaskState : public QObject {
    Q_OBJECT
  public:
    explicit TaskState(const TaskConfig& config, QObject* parent = nullptr);

    const QString id;
    QProperty<TaskConfig> config;
    QProperty<LogSummary> summary;
    QProperty<bool> running{false};
    QProperty<std::optional<QDateTime>> startTime;
    QProperty<std::optional<int>> progress;
    QProperty<std::optional<QString>> transientError;
    QProperty<std::optional<PendingStart>> pending;
    // An external task that is due while a run here uses its volume.
    QProperty<bool> externalWaiting{false};
    QProperty<bool> startedRed{false};
    QProperty<std::optional<QDateTime>> lastProbeFailure;
    QProperty<std::shared_ptr<TaskRunner>> runner;
    QProperty<bool> runningElsewhere{false};
    // Consecutive failed runs, and the earliest time the schedule may start the
    // task again: a script that fails at once must not run again at once.
    QProperty<int> failedRuns{0};
    QProperty<std::optional<QDateTime>> retryAfter;
    // The start of a run that ended successfully here, for the schedule, until
    // the logs show a success as new: a log replaced or unreadable during the
    // run must not make the task due again at once.
    QProperty<std::optional<QDateTime>> unseenSuccess;
    // What keeps a due task from starting by itself (the machine's conditions),
    // or its own pause, due or not.
    QProperty<std::optional<Hold>> heldBy;

    // Every observable field, for the views' one watcher: a field added above
    // and not here is a field no view redraws for.
    template <typename Visit> void forEachObservable(Visit&& visit) {
        visit(config), visit(summary), visit(running), visit(startTime), visit(progress);
        visit(transientError), visit(pending), visit(externalWaiting), visit(startedRed);
        visit(lastProbeFailure);
        visit(runner), visit(runningElsewhere), visit(failedRuns), visit(retryAfter);
        visit(unseenSuccess), visit(heldBy);
    }

    // A start waits to go ahead (shown as waiting), or asks the volumes first.
    bool waiting() const {
        const auto p = pending.value();
        return (p && p->phase == PendingStart::Phase::Waiting) || externalWaiting.value();
    }
    bool probing() const {
        const auto p = pending.value();
        return p && p->phase == PendingStart::Phase::Probing;
    }
    bool isRunning() const { return running.value() || runningElsewhere.value(); }
    // The last success the row shows: what the logs say, or a success of this
    // copy's that they no longer show, so text and light go by the same facts.
    std::optional<QDateTime> lastRun() const;
    TaskStatus status(const QDateTime& now) const;
    // The status a run under way stands in front of: its error or its light.
    TaskStatus health(const QDateTime& now) const;
    // The last success the schedule goes by: a success dated more than a few
    // minutes ahead of `now` (made while the clock was set ahead) does not
    // count, a success the logs do not show yet does.
    std::optional<QDateTime> scheduleSuccess(const QDateTime& now) const;
    // The first moment after `now` at which the light turns by age alone
    // (invalid: never).
    QDateTime nextLightChange(const QDateTime& now) const;
    std::optional<QString> errorText() const;
};
