#include "LogReader.h"

#include "execution/TaskRunner.h"
#include "platform/PosixFile.h"

LogReading LogReader::read(const QStringList& safeNames, qint64 settledBeforeNs) {
    LogReading reading;
    reading.serial = ++serial_;
    const LogStore store(paths_.logs());
    const quint64 generation = listingGeneration_;
    const PosixFile::UniqueFd folder = PosixFile::openFolder(store.directory);
    const LogListing& listing = folderListing(store, folder.get(), settledBeforeNs);
    if (generation != listingGeneration_) reading.listing = listing;
    const FolderLook look{store, listing, folder.get(), settledBeforeNs};
    for (const QString& safeName : safeNames) {
        TaskReading& t = reading.tasks[safeName];
        const KeptSummary& kept = keptSummary(look, safeName);
        t.summary = kept.summary;
        if (t.summary.latestStatus != LogStatus::Running || !t.summary.latestFile) continue;
        t.lockHeld = PosixFile::lockHeld(TaskRunner::lockFile(paths_, safeName));
        // Stamped by the update just made: no second look at the file.
        if (kept.newest) t.newestChangedNs = kept.newest->mtimeNs;
    }
    return reading;
}

const KeptSummary& LogReader::keptSummary(const FolderLook& look, const QString& safeName) {
    CachedSummary& cached = summaries_[safeName];
    // The same listing holds the same names: only the newest file is looked at.
    const QStringList names = cached.generation == listingGeneration_
                                  ? cached.kept.byName
                                  : look.store.candidates(safeName, &look.listing);
    cached.generation = listingGeneration_;
    look.store.update(cached.kept, safeName, names, look.folderFd, look.settledBeforeNs);
    return cached.kept;
}

const LogListing& LogReader::folderListing(const LogStore& store, int folderFd,
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
