#pragma once
// One read of the log folder for every task's summary, made on a thread of its
// own: a repository on a network or FUSE folder that stops answering must not
// freeze the program. Keeps what the last read found, so the next one reads
// only what changed; the engine starts a read only when the last one answered.

#include "config/Paths.h"
#include "records/LogFolderNames.h"
#include "records/LogStore.h"

#include <QHash>
#include <QStringList>

#include <optional>

struct TaskReading {
    LogSummary summary;
    // Asked only of a task whose newest log says RUNNING: whether some copy's run
    // holds the task's lock, and when that log last changed.
    bool lockHeld = false;
    std::optional<qint64> newestChangedNs;
    friend bool operator==(const TaskReading&, const TaskReading&) = default;
};

struct LogReading {
    quint64 serial = 0;                // later reads have larger ones
    QHash<QString, TaskReading> tasks; // by safe name
    // The names that came to the folder since the reading before.
    QStringList added;
};

class LogReader {
  public:
    explicit LogReader(Paths paths) : paths_(std::move(paths)) {}
    // Never two at once. `settledBeforeNs`: see LogStore::update.
    LogReading read(const QStringList& safeNames, qint64 settledBeforeNs);

  private:
    // Whether the folder's names were looked at again.
    bool rereadNames(const LogStore& store, int folderFd, qint64 settledBeforeNs);
    struct FolderLook {
        const LogStore& store;
        int folderFd;
        qint64 settledBeforeNs;
    };
    // A task's summary, read again only where its files changed.
    const KeptSummary& keptSummary(const FolderLook& look, const QString& safeName);

    const Paths paths_;
    quint64 serial_ = 0;
    LogFolderNames names_;
    qint64 namesStamp_ = -1;
    struct CachedSummary {
        quint64 generation = 0; // of the task's names it was made from
        quint64 checkedAt = 0;  // the read that last made or confirmed it
        KeptSummary kept;
    };
    QHash<QString, CachedSummary> summaries_;
    // The last reading's tasks, changed in place where a task's reading did:
    // a reading hands out a shared copy, so a settled read allocates nothing.
    QHash<QString, TaskReading> tasks_;
};
