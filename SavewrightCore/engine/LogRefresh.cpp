// Re-reading every task's past from the log folder, and the questions asked of it.
#include "Engine.h"

#include "base/Language.h"
#include "base/MainThread.h"
#include "platform/Detached.h"
#include "records/RunOrder.h"

#include <QFileInfo>
#include <QPointer>

#include <algorithm>
#include <condition_variable>
#include <limits>
#include <mutex>

namespace {

constexpr qint64 kObservedRunSeconds = 86400; // an observe-only copy forgets older RUNNING logs
constexpr qint64 kExternalFreshSeconds = 600; // an external run must keep writing its log
// Long enough for a slow network folder, short enough that a hung one leaves the
// program answering (and SIGTERM ends it within its grace).
constexpr auto kRepositoryAnswer = std::chrono::seconds(3);

QString repositoryProblem() {
    return Language::translate("LogRefresh", "Repository antwortet nicht: ");
}

// The repository's folders the kernel watches: the repository itself (for a
// log folder yet to come), the logs and the records of runs beside them.
struct RepositoryFolders {
    explicit RepositoryFolders(const Paths& paths)
        : repo(paths.repo), logs(paths.logs()), records(RunOrder::locksFolder(logs)) {}
    QStringList all() const { return {repo, logs, records}; }
    QString repo, logs, records;
};

// The repository's folders watched by the kernel, as far as they exist.
struct RepositoryWatch {
    QList<QPair<QString, int>> added; // folder, watch (negative: none)
    bool seesAll = false;             // every change of the logs will be told
};

// Runs on the reader's thread: a look at the repository may hang.
RepositoryWatch watchRepository(const FolderWatch::Adder& add, const Paths& paths,
                                const QSet<QString>& watched) {
    RepositoryWatch w;
    const auto watchedNow = [&](const QString& folder) {
        if (watched.contains(folder)) return true;
        const int wd = add(folder);
        w.added.append({folder, wd});
        return wd >= 0;
    };
    const RepositoryFolders f(paths);
    const bool repo = watchedNow(f.repo);
    const bool logs = watchedNow(f.logs);
    watchedNow(f.records);
    // Without a log folder yet, the repository tells when it comes.
    w.seesAll = logs ? FolderWatch::seesAllChanges(f.logs)
                     : repo && !QFileInfo::exists(f.logs) && FolderWatch::seesAllChanges(f.repo);
    return w;
}

} // namespace

struct Engine::PendingRead {
    std::mutex mutex;
    std::condition_variable answered;
    std::optional<LogReading> reading;
    RepositoryWatch watch;
};

void Engine::refreshLogs() {
    // The read before has not answered yet: its answer applies when it comes.
    if (pendingRead_) return;
    logFolders_.release();
    QStringList safeNames;
    for (const auto& task : tasks.value())
        safeNames.append(task->config.value().safeName());
    auto pending = std::make_shared<PendingRead>();
    pendingRead_ = pending;
    QSet<QString> watched;
    for (const QString& f : RepositoryFolders(paths).all())
        if (logFolders_.watching(f)) watched.insert(f);
    QPointer<Engine> engine(this);
    auto work = [reader = reader_, pending, engine, safeNames, settled = settledBeforeNs(),
                 add = logFolders_.adder(), paths = paths, watched] {
        // Watched before the read: no change after it goes untold.
        RepositoryWatch watch = watchRepository(add, paths, watched);
        LogReading reading = reader->read(safeNames, settled);
        {
            const std::lock_guard lock(pending->mutex);
            pending->reading = std::move(reading);
            pending->watch = std::move(watch);
        }
        pending->answered.notify_all();
        postToMain([engine, pending] {
            if (engine) engine->collectRead(pending);
        });
    };
    if (!readThread_.post(work)) work();
    std::unique_lock lock(pending->mutex);
    if (pending->answered.wait_for(lock, kRepositoryAnswer,
                                   [&] { return pending->reading.has_value(); })) {
        lock.unlock();
        collectRead(pending);
        return;
    }
    repositoryHung_ = true;
    replaceProblem(repositoryProblem(), repositoryProblem() + paths.repo);
}

void Engine::collectRead(const std::shared_ptr<PendingRead>& pending) {
    if (pendingRead_ != pending) return; // collected already
    pendingRead_.reset();
    if (std::exchange(repositoryHung_, false)) replaceProblem(repositoryProblem(), std::nullopt);
    for (const auto& [folder, wd] : std::as_const(pending->watch.added))
        logFolders_.adopt(folder, wd);
    if (std::exchange(foldersSeeAll_, pending->watch.seesAll) != pending->watch.seesAll && started)
        schedulePoll();
    applyReading(*pending->reading);
}

void Engine::applyReading(const LogReading& reading) {
    logsRead_ = true;
    const QDateTime t = currentTime();
    lastRefresh_ = t;
    now_ = t;
    // The report page can only appear with a change of the folder's names.
    checkDeletionReport(reading.added);
    checkDeletionEvents();
    for (const auto& task : tasks.value()) {
        const TaskConfig& c = task->config.value();
        const auto found = reading.tasks.constFind(c.safeName());
        if (found == reading.tasks.cend()) continue; // added since the read began
        const LogSummary& s = found->summary;
        task->summary = s; // notifies only when a field differs

        // A RUNNING log is a run only while some copy's run holds the task's
        // lock: one whose copy was killed is over, whatever its log says.
        bool elsewhere = observeOnly && !task->running && s.latestStatus == LogStatus::Running &&
                         s.latestStart && s.latestStart->secsTo(t) < kObservedRunSeconds &&
                         found->lockHeld;
        if (c.type == TaskType::External) {
            elsewhere = s.latestStatus == LogStatus::Running && found->newestChangedNs &&
                        t.toMSecsSinceEpoch() - *found->newestChangedNs / 1'000'000 <
                            kExternalFreshSeconds * 1000;
            const double age = s.lastSuccess ? s.lastSuccess->msecsTo(t) / 3'600'000.0
                                             : std::numeric_limits<double>::infinity();
            task->externalWaiting = !elsewhere && c.intervalHours <= age && volumeBusy(*task);
        }
        task->runningElsewhere = elsewhere;
    }
    writeMetrics();
    checkAttention();
    armTick();
}

// A time within the file system's resolution of now could still hide a change.
qint64 Engine::settledBeforeNs() const {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(clock().time_since_epoch())
               .count() -
           2'000'000'000;
}

bool Engine::isRed(const TaskState& task) const {
    const TaskStatus s = task.status(now);
    return s == TaskStatus::Error || s == TaskStatus::Red || s == TaskStatus::Never;
}

bool Engine::volumeBusy(const TaskState& task) const {
    const QStringList& mine = task.config.value().watchVolumes;
    if (mine.isEmpty()) return false;
    for (const auto& other : tasks.value()) {
        if (other.get() == &task || other->config.value().type == TaskType::External) continue;
        if (!other->running && !other->runningElsewhere && !other->probing()) continue;
        for (const QString& v : other->config.value().watchVolumes)
            if (mine.contains(v)) return true;
    }
    return false;
}

bool Engine::anyRunning() const {
    const TaskList& list = tasks.value();
    return std::any_of(list.cbegin(), list.cend(),
                       [](const auto& t) { return t->running || t->runningElsewhere; });
}
