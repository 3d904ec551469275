#pragma once
// The log folder: one file per run, named from its start second and the task's
// safe name. Names, writes, finalizes, lists, prunes and reads back those files.

#include "LogTime.h"
#include "RunOrder.h"
#include "platform/PosixFile.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// One read of the log folder, shared by every task of a refresh.
struct LogListing {
    QStringList names; // in the order the file system returned them
    // The names grouped by the only safe name each could belong to.
    QHash<QString, QStringList> candidates;

    static LogListing of(QStringList names);
    // The only safe name a file of this name could be a log of, if any.
    static std::optional<QStringView> ownerOf(QStringView name);
};

struct LogStat {
    QString label;
    QString value;
    friend bool operator==(const LogStat&, const LogStat&) = default;
};
using LogStats = QList<LogStat>;

// A run as its log's header says; Aborted: FAILED with an abort marker (stopped).
enum class LogStatus { Success, Failed, Running, Aborted };
// "SUCCESS", "FAILED", "RUNNING", "ABORTED": as the header and the JSON reports say it.
QString text(LogStatus status);

// What a task's log files say about its past.
struct LogSummary {
    std::optional<QDateTime> lastSuccess;
    std::optional<LogStatus> latestStatus;
    std::optional<QDateTime> latestStart;
    std::optional<QString> latestFile;
    std::optional<QString> failureLine;
    friend bool operator==(const LogSummary&, const LogSummary&) = default;
};

// A task's summary kept between refreshes, with what it rests on. A file other
// than a task's newest cannot change without the folder's names changing, so
// keeping it up to date reads only names it has not seen and a changed newest file.
struct KeptSummary {
    QStringList byName;                     // the task's files when last updated, by name
    QList<DatedRun> runs;                   // the same, newest first
    qsizetype read = 0;                     // runs[0, read) were read: down to the last success
    std::optional<PosixFile::Stamp> newest; // the newest file's, taken after reading
    LogSummary summary;
};

class LogStore {
  public:
    using Summary = LogSummary;

    struct Opened {
        QString file;
        std::optional<QString> error;
        PosixFile::UniqueFd fd; // the new file, for reading and writing
    };

    explicit LogStore(QString directory_) : directory(std::move(directory_)) {}
    QString directory;

    static QString abortMarker();

    // With `onlyOf`: only the names that may be that task's logs or their
    // temp files, picked from the raw names before any is decoded.
    LogListing listing(const QString& onlyOf = {}) const;
    // The task's log files, newest first by when the runs happened (RunOrder);
    // reads the folder when no listing is given.
    QStringList files(const QString& safeName, const LogListing* listing = nullptr) const;
    // The same with when each run began.
    QList<DatedRun> runs(const QString& safeName, const LogListing* listing = nullptr) const;
    // The same, as bare file names.
    QStringList fileNames(const QString& safeName, const LogListing* listing = nullptr) const;
    // The task's bare file names sorted by name, which says nothing of their order.
    QStringList candidates(const QString& safeName, const LogListing* listing = nullptr) const;
    // The same from the names grouped under the task (LogListing::candidates).
    static QStringList candidatesOf(const QStringList& grouped);
    // Creates the folder and a new file with the RUNNING header. Never overwrites:
    // a name already taken moves on to the next free second.
    Opened open(const QString& taskName, const QString& safeName, const QString& script,
                Clock::time_point start) const;
    // Appends the trailer and statistics and turns the header's RUNNING status
    // into SUCCESS or FAILED, in place: no copy, so a full disk cannot keep a
    // finished run RUNNING. Works on bytes, so output that is not UTF-8 does not
    // either. False when the status could not be written.
    static bool finalize(int fd, const LogStats& stats, bool success, Clock::time_point finished);
    // The same on a path, never through a link.
    static bool finalize(const QString& file, const LogStats& stats, bool success,
                         Clock::time_point finished);
    static bool finalize(const QString& file, const QString& output, bool success,
                         Clock::time_point finished) {
        return finalize(file, parseStats(output), success, finished);
    }
    // Deletes all but the `keep` (at least 1) newest logs of the task, never
    // `spared`, and temp files that a killed finalize of an earlier version left
    // behind (untouched for an hour).
    // `now`: the clock of the run that ends, against which temp files are old.
    void cleanup(const QString& safeName, qint64 keep, const QString& spared = {},
                 Clock::time_point now = Clock::now()) const;

    static std::optional<QDateTime> startDate(QStringView fileName, QStringView safeName);
    static QString fileName(Clock::time_point start, const QString& safeName);
    static LogStats parseStats(const QString& output);

    Summary summary(const QString& safeName, const LogListing* listing = nullptr) const;
    // Brings `kept` to the task's files `byName` (from candidates()). Stamps are
    // looked up in `folderFd`; only stamps older than `settledBeforeNs` are
    // trusted to hide no change. True when the summary was read again.
    bool update(KeptSummary& kept, const QString& safeName, const QStringList& byName, int folderFd,
                qint64 settledBeforeNs) const;
    // The header lines within the first 500 bytes, never the output after them.
    static std::optional<QString> header(const QString& file);
    // The same in a log's first (up to 500) bytes.
    static std::optional<QString> headerIn(QByteArrayView first);
    static std::optional<LogStatus> status(const QString& header);
    static bool wasAborted(const QString& file);
    // Whether a log's last bytes carry a stop's marker.
    static bool abortedIn(QStringView tail);
    // From the header's start to the trailer's finish, in seconds; absent for a
    // run that has not finished or a file without both stamps.
    static std::optional<double> runSeconds(const QString& file);
    static std::optional<double> runSecondsIn(QStringView header, QStringView tail);
    // How many bytes of a log's end runSeconds, wasAborted and the history read.
    static constexpr qint64 kTailBytes = 4096;
    // The line before the statistics a finished run ends with ("Label: value" each).
    static constexpr QLatin1StringView kStatsHeading{"\n--- Stats ---\n"};
    // The last meaningful output line. Logs over 256 KiB are read from their
    // last 256 KiB only, so a huge failed log costs no more than a small one.
    static std::optional<QString> failureLine(const QString& file);
    // The same in bytes read from a log's end; `windowed`: they start within
    // the output (the file is longer), not at its header.
    static std::optional<QString> failureLineIn(QByteArray bytes, bool windowed);

  private:
    QList<DatedRun> reorder(const KeptSummary& kept, const QString& safeName,
                            const QStringList& byName, int folderFd) const;
};
