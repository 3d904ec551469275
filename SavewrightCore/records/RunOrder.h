#pragma once
// When a task's runs happened. Log names are local wall-clock time, which moves
// with the time zone and the clock, so they cannot say which run is newest on
// their own: runs this program made are kept in the order they were made, with
// the instant each began, in a record beside the logs; any other log is dated by
// its name unless that name lies after the file's last change (a zone or clock
// that moved back since, or a name from the future), then by the file's times.

#include "LogTime.h"
#include "platform/PosixFile.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

struct DatedRun {
    QString name;   // the bare file name
    qint64 startMs; // when the run began, ms since the epoch
    friend bool operator==(const DatedRun&, const DatedRun&) = default;
};

namespace RunOrder {

// logs/.locks: what runs keep beside the logs, for this program only.
QString locksFolder(const QString& logsFolder);
// logs/.locks/<safe name>.runs: "<start ms> <file name>" per made run, oldest first.
QString recordFile(const QString& logsFolder, const QString& safeName);
// Adds a run about to be made (its name's instant) to the record, before its
// log appears, forgetting runs whose logs are gone.
// False when the record could not be written (the run goes on without it).
bool record(const QString& logsFolder, const QString& safeName, const QString& name,
            Clock::time_point start);
QList<DatedRun> recorded(const QString& logsFolder, const QString& safeName);

// The start of a log no record knows, looked up in the folder held open.
qint64 believedStartMs(const QString& logsFolder, int folderFd, const QString& name, qint64 nameMs);

// `names` (a task's files) newest first. Starts already known (`known`) are not
// looked up again; `made` is the task's record.
QList<DatedRun> order(const QString& logsFolder, int folderFd, const QString& safeName,
                      const QStringList& names, const QList<DatedRun>& made,
                      const QHash<QString, qint64>& known = {});

} // namespace RunOrder
