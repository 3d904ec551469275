// Re-reading every task's past from the log folder, and the questions asked of it.
#include "Engine.h"

#include "platform/PosixFile.h"

#include <ctime>
#include <limits>
#include <sys/stat.h>

namespace {

constexpr qint64 kObservedRunSeconds = 86400; // an observe-only copy forgets older RUNNING logs
constexpr qint64 kExternalFreshSeconds = 600; // an external run must keep writing its log

} // namespace

void Engine::refreshLogs() {
    const QDateTime t = clock();
    lastRefresh = t;
    now = t;
    const LogStore store(paths.logs());
    const LogListing& listing = folderListing(store);
    checkDeletionReport(listing);
    checkDeletionEvents();
    for (const auto& task : tasks.value()) {
        const TaskConfig& c = task->config.value();
        const LogSummary s = store.summary(c.safeName(), &listing);
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
}

const LogListing& Engine::folderListing(const LogStore& store) {
    // The names change only with the folder's modification time; a time from the
    // last two seconds is not trusted, since a change within the file system's
    // time resolution would not move it.
    struct stat st {};
    const bool readable = ::stat(PosixFile::encodePath(store.directory).constData(), &st) == 0;
    const qint64 stamp = readable ? static_cast<qint64>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec : -1;
    const qint64 nowNs = static_cast<qint64>(std::time(nullptr)) * 1'000'000'000;
    if (!readable || stamp != listingStamp_ || nowNs - stamp < 2'000'000'000) {
        listing_ = store.listing();
        listingStamp_ = readable ? stamp : -1;
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
