#pragma once
// A task's runs as its logs tell them, newest first, for the history window and
// `savewright history`. Each log is read at its header and its last few KiB
// only, so thousands of logs cost little and a huge one no more than a small one.

#include "LogStore.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

enum class RunOutcome { Success, Failed, Stopped, Running, Unreadable };

struct RunRecord {
    QString file; // the bare file name
    QDateTime start;
    std::optional<double> seconds; // absent while it runs or without both stamps
    RunOutcome outcome = RunOutcome::Unreadable;
    std::optional<QString> transferred; // "Transferred size" as the statistics say it
    std::optional<qint64> transferredBytes;
    std::optional<qint64> files; // the number of files the statistics count
    std::optional<QString> failureLine;
    friend bool operator==(const RunRecord&, const RunRecord&) = default;
};

namespace RunHistory {

// The task's runs, newest first, at most `limit` (all when negative). The newest
// log still RUNNING is running only when `newestRuns` (a copy holds the task);
// any other RUNNING log is a run that was cut off.
QList<RunRecord> read(const LogStore& logs, const QString& safeName, bool newestRuns,
                      qsizetype limit = -1);
RunRecord readOne(const QString& path, const DatedRun& run, bool mayRun);
// "erfolgreich", "fehlgeschlagen", "abgebrochen", "läuft", "unlesbar".
QString outcomeText(RunOutcome outcome);
// "success", "failed", "stopped", "running", "unreadable": for programs.
QString outcomeKey(RunOutcome outcome);
// A size as rsync writes it ("1,234 bytes", "1.23M") in bytes.
std::optional<qint64> bytesOf(QStringView text);
QJsonObject toJson(const RunRecord& run);
// "0:05", "12:30", "1:02:03", as a stopwatch shows it; empty when unknown.
QString durationText(std::optional<double> seconds);
// The heads of a run's columns wherever runs are listed: start, duration,
// outcome, transferred size, files, failure line.
QStringList columnTitles();

} // namespace RunHistory
