// Re-reading every task's past from the log folder, and the questions asked of it.
#include "Engine.h"

#include "platform/PosixFile.h"

#include <algorithm>
#include <limits>

namespace {

constexpr qint64 kObservedRunSeconds = 86400; // an observe-only copy forgets older RUNNING logs
constexpr qint64 kExternalFreshSeconds = 600; // an external run must keep writing its log

} // namespace

void Engine::refreshLogs() {
    const QDateTime t = currentTime();
    lastRefresh = t;
    now = t;
    const LogStore store(paths.logs());
    const quint64 generation = listingGeneration_;
    const PosixFile::UniqueFd folder = PosixFile::openFolder(store.directory);
    const qint64 settledBefore = settledBeforeNs();
    const LogListing& listing = folderListing(store, folder.get(), settledBefore);
    const FolderLook look{store, listing, folder.get(), settledBefore};
    // The report page can only appear with a change of the folder's names.
    if (generation != listingGeneration_) checkDeletionReport(listing);
    checkDeletionEvents();
    for (const auto& task : tasks.value()) {
        const TaskConfig& c = task->config.value();
        const LogSummary s = summaryOf(look, c.safeName());
        task->summary = s; // notifies only when a field differs

        // A RUNNING log is a run only while some copy's run holds the task's
        // lock: one whose copy was killed is over, whatever its log says.
        bool elsewhere = observeOnly && !task->running && s.latestStatus == u"RUNNING" &&
                         s.latestStart && s.latestStart->secsTo(t) < kObservedRunSeconds &&
                         PosixFile::lockHeld(TaskRunner::lockFile(paths, c.safeName()));
        if (c.type == TaskType::External) {
            elsewhere = s.latestStatus == u"RUNNING" && isFresh(s.latestFile, t);
            const double age = s.lastSuccess ? s.lastSuccess->msecsTo(t) / 3'600'000.0
                                             : std::numeric_limits<double>::infinity();
            task->waiting = !elsewhere && c.intervalHours <= age && volumeBusy(*task);
        }
        task->runningElsewhere = elsewhere;
    }
    writeMetrics();
    checkAttention();
}

// A time within the file system's resolution of now could still hide a change.
qint64 Engine::settledBeforeNs() const {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(clock().time_since_epoch())
               .count() -
           2'000'000'000;
}

LogSummary Engine::summaryOf(const FolderLook& look, const QString& safeName) {
    CachedSummary& cached = summaries_[safeName];
    // The same listing holds the same names: only the newest file is looked at.
    const QStringList names = cached.generation == listingGeneration_
                                  ? cached.kept.byName
                                  : look.store.candidates(safeName, &look.listing);
    cached.generation = listingGeneration_;
    look.store.update(cached.kept, safeName, names, look.folderFd, look.settledBeforeNs);
    return cached.kept.summary;
}

const LogListing& Engine::folderListing(const LogStore& store, int folderFd,
                                        qint64 settledBeforeNs) {
    // The names change only with the folder's modification time (once it is settled).
    const auto folder = PosixFile::stamp(folderFd);
    const qint64 stamp = folder ? folder->mtimeNs : -1;
    if (!folder || stamp != listingStamp_ || stamp >= settledBeforeNs) {
        listing_ = store.listing();
        listingStamp_ = stamp;
        ++listingGeneration_;
    }
    return listing_;
}

bool Engine::isFresh(const std::optional<QString>& file, const QDateTime& now) {
    if (!file) return false;
    const std::optional<qint64> modified = mtime(*file);
    if (!modified) return false;
    return now.toMSecsSinceEpoch() - *modified / 1'000'000 < kExternalFreshSeconds * 1000;
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
        if (!other->running && !other->runningElsewhere && !other->probing) continue;
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
