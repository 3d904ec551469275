// When the engine looks: the kernel tells of changed folders, and the tick is
// armed for the next moment something becomes due, so an idle program sleeps.
#include "Engine.h"

#include "execution/TaskRunner.h"

namespace {

constexpr int kBusyTickMs = 1000;
// However far the next due moment: a clock set by hand is noticed within this.
constexpr int kIdleTickMs = 5 * 60 * 1000;
// A burst of notices (a run's log, its record, its lock) is read once.
constexpr qint64 kSettleMs = 200;
// While logs keep changing (an outside run writing), at most one read per this.
constexpr qint64 kRefreshGapMs = 5000;

} // namespace

void Engine::watchFolders() {
    // The repository's folders are watched by the log reader, off this thread.
    for (const QString& folder : {paths.appSupport, journalFolder()})
        folders_.watch(folder); // a missing one is watched once its parent tells it came
}

void Engine::folderChanged(const QString& folder) {
    if (shuttingDown) return;
    if (folder == paths.appSupport) {
        watchFolders();
        reloadIfConfigChanged();
        return;
    }
    if (folder == journalFolder()) {
        checkDeletionEvents(); // the journal
        return;
    }
    // Further notices wait for the next read, which sees what they would tell.
    logFolders_.hold(true);
    // While anything runs, the tick reads every few seconds anyway.
    if (refreshSoon_.isActive() || anyRunning()) return;
    const qint64 since = TaskRunner::steadyMs() - lastToldReadMs_;
    refreshSoon_.start(static_cast<int>(std::max(kSettleMs, kRefreshGapMs - since)));
}

bool Engine::pollNeeded() const {
    if (!foldersSeeAll_ || !folders_.watching(paths.appSupport)) return true;
    const QList<TaskConfig>& list = config.value().tasks;
    return std::any_of(list.cbegin(), list.cend(),
                       [](const TaskConfig& t) { return !t.watchVolumes.isEmpty(); });
}

void Engine::wakeAt(const QDateTime& at) {
    if (!at.isValid() || at <= now.value()) return;
    if (viewWake_.isValid() && viewWake_ > now.value() && viewWake_ <= at) return;
    viewWake_ = at;
    armTick();
}

std::optional<int> Engine::nextTickMs() const {
    if (!tickTimer_.isActive()) return std::nullopt;
    return tickTimer_.remainingTime();
}

void Engine::wake() {
    tick();
    if (started && !observeOnly && !shuttingDown && startsDue_.isValid() && now >= startsDue_)
        startReady();
    armTick();
}

void Engine::armTick() {
    if (!started || shuttingDown) return;
    if (anyRunning()) {
        // Armed again and again, the second would never come.
        if (!tickTimer_.isActive() || tickTimer_.remainingTime() > kBusyTickMs)
            tickTimer_.start(kBusyTickMs);
        return;
    }
    const qint64 until = currentTime().msecsTo(nextWake());
    tickTimer_.start(static_cast<int>(std::clamp<qint64>(until, 0, kIdleTickMs)));
}

QDateTime Engine::nextWake() {
    const QDateTime t = now;
    QDateTime next = t.addMSecs(kIdleTickMs);
    const auto consider = [&](const QDateTime& at) { Schedule::keepEarliest(next, at, t); };
    consider(viewWake_);
    consider(attentionWake_);
    if (settleUntil_) consider(*settleUntil_);
    if (startedAt_.isValid()) consider(startedAt_.addSecs(kStartRunsWaitSeconds));
    for (const QDateTime& end : std::as_const(taskPauses_))
        consider(end);
    startsDue_ = QDateTime();
    const auto considerStart = [&](const QDateTime& at) {
        Schedule::keepEarliest(startsDue_, at, t);
    };
    for (const auto& task : tasks.value()) {
        consider(task->nextLightChange(t));
        if (observeOnly) continue;
        if (const auto at = nextRun(*task).at) considerStart(*at);
    }
    // A task kept by an earlier run's script is tried again now and then.
    if (!held_.isEmpty()) considerStart(t.addMSecs(pollIntervalMs()));
    consider(startsDue_);
    return next;
}
