#include "LogReader.h"

#include "execution/TaskRunner.h"
#include "platform/PosixFile.h"

#include <QSet>

LogReading LogReader::read(const QStringList& safeNames, qint64 settledBeforeNs) {
    LogReading reading;
    reading.serial = ++serial_;
    const LogStore store(paths_.logs());
    const PosixFile::UniqueFd folder = PosixFile::openFolder(store.directory);
    if (rereadNames(store, folder.get(), settledBeforeNs)) reading.added = names_.added();
    const FolderLook look{store, folder.get(), settledBeforeNs};
    for (const QString& safeName : safeNames) {
        const KeptSummary& kept = keptSummary(look, safeName);
        TaskReading t;
        t.summary = kept.summary;
        if (t.summary.latestStatus == LogStatus::Running && t.summary.latestFile) {
            t.lockHeld = PosixFile::lockHeld(TaskRunner::lockFile(paths_, safeName));
            // Stamped by the update just made: no second look at the file.
            if (kept.newest) t.newestChangedNs = kept.newest->mtimeNs;
        }
        const auto was = std::as_const(tasks_).constFind(safeName);
        if (was == tasks_.cend() || *was != t) tasks_.insert(safeName, std::move(t));
    }
    if (tasks_.size() != safeNames.size()) {
        const QSet<QString> asked(safeNames.cbegin(), safeNames.cend());
        tasks_.removeIf([&](const auto& task) { return !asked.contains(task.key()); });
    }
    reading.tasks = tasks_;
    return reading;
}

const KeptSummary& LogReader::keptSummary(const FolderLook& look, const QString& safeName) {
    CachedSummary& cached = summaries_[safeName];
    const quint64 generation = names_.generation(safeName);
    // Told that nothing of the task's changed since the read before, which
    // looked at it: not even its newest file is looked at. A running log's time
    // of change is asked for each time.
    KeptSummary& kept = cached.kept;
    const bool checkedJustBefore = std::exchange(cached.checkedAt, serial_) + 1 == serial_;
    const auto changed = kept.runs.isEmpty() ? std::nullopt : names_.changed(kept.runs[0].name);
    if (checkedJustBefore && cached.generation == generation && changed == false &&
        kept.summary.latestStatus != LogStatus::Running)
        return kept;
    // Written to: read again even where its size and times hide it.
    if (changed == true) kept.newest.reset();
    // The same names: only the newest file is looked at.
    const QStringList names = cached.generation == generation
                                  ? kept.byName
                                  : LogStore::candidatesOf(names_.candidates(safeName));
    cached.generation = generation;
    look.store.update(kept, safeName, names, look.folderFd, look.settledBeforeNs);
    return kept;
}

bool LogReader::rereadNames(const LogStore& store, int folderFd, qint64 settledBeforeNs) {
    if (names_.told(store.directory)) {
        names_.catchUp();
        return true;
    }
    // The names change only with the folder's modification time (once it is settled).
    const auto folder = PosixFile::stamp(folderFd);
    const qint64 stamp = folder ? folder->mtimeNs : -1;
    if (folder && stamp == namesStamp_ && stamp < settledBeforeNs) return false;
    names_.reread(store.directory);
    namesStamp_ = stamp;
    return true;
}
