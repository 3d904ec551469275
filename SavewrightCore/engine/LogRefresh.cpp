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
    const LogListing& listing = folderListing(store);
    // The report page can only appear with a change of the folder's names.
    if (generation != listingGeneration_) checkDeletionReport(listing);
    checkDeletionEvents();
    for (const auto& task : tasks.value()) {
        const TaskConfig& c = task->config.value();
        const LogSummary s = summaryOf(store, c.safeName(), listing);
        task->summary = s; // notifies only when a field differs

        bool elsewhere = observeOnly && !task->running && s.latestStatus == u"RUNNING" &&
                         s.latestStart && s.latestStart->secsTo(t) < kObservedRunSeconds;
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
bool Engine::settled(qint64 stampNs) const {
    const qint64 nowNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(clock().time_since_epoch()).count();
    return nowNs - stampNs >= 2'000'000'000;
}

LogSummary Engine::summaryOf(const LogStore& store, const QString& safeName,
                             const LogListing& listing) {
    // The summary reads the newest file and the older ones down to the last success;
    // while none of them changed, it is the same summary.
    const auto cached = summaries_.constFind(safeName);
    if (cached != summaries_.constEnd() && cached->generation == listingGeneration_) {
        const bool same =
            std::all_of(cached->files.cbegin(), cached->files.cend(), [&](const auto& f) {
                const auto now = PosixFile::stamp(store.directory + u'/' + f.first);
                return now && now == f.second && settled(now->mtimeNs);
            });
        if (same) return cached->summary;
    }
    QStringList read;
    CachedSummary fresh{listingGeneration_, {}, store.summary(safeName, &listing, &read)};
    // Stamped after reading: a change in between is recent, so not trusted next time.
    for (const QString& name : read)
        fresh.files.append({name, PosixFile::stamp(store.directory + u'/' + name)});
    summaries_.insert(safeName, fresh);
    return fresh.summary;
}

const LogListing& Engine::folderListing(const LogStore& store) {
    // The names change only with the folder's modification time (once it is settled).
    const auto folder = PosixFile::stamp(store.directory);
    const qint64 stamp = folder ? folder->mtimeNs : -1;
    if (!folder || stamp != listingStamp_ || !settled(stamp)) {
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
