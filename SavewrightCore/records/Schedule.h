#pragma once
// The pure rules: due decisions for every task kind, the traffic light of an
// age, volume presence and progress percentages in script output.

#include "config/AppConfig.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

enum class TaskStatus { Running, Error, Red, Never, Yellow, Green };

QString text(TaskStatus status);
std::optional<TaskStatus> taskStatusFromText(const QString& text);

namespace Schedule {

using MountedTest = std::function<bool(const QString&)>;

std::optional<double> hours(const std::optional<QDateTime>& since, const QDateTime& now);
// Hours of a configuration as an offset that fits a date, or none.
std::optional<qint64> hoursAsMs(double hours);
// Keeps in `next` the earliest of the moments after `now` it is given.
void keepEarliest(QDateTime& next, const QDateTime& at, const QDateTime& now);
TaskStatus light(std::optional<double> hoursSinceSuccess, double warn, double red);
bool volumesMounted(const TaskConfig& task, const MountedTest& mounted);
// Weekday and wall-clock time are those of the process's local time zone.
bool isDue(const TaskConfig& task, const std::optional<QDateTime>& lastSuccess,
           const QDateTime& now, const MountedTest& mounted);
// When the schedule makes a task due next: a moment (`now` when due already), or
// the volumes it waits for; neither for a task that never starts by itself.
struct NextDue {
    std::optional<QDateTime> at;
    QStringList volumes;
    friend bool operator==(const NextDue&, const NextDue&) = default;
};
NextDue nextDue(const TaskConfig& task, const std::optional<QDateTime>& lastSuccess,
                const QDateTime& now, const MountedTest& mounted);
std::optional<int> progress(QStringView text);
// The two forms progress() chooses from, each from its first match that starts
// before `startsBefore`: the rsync counter's share (when complete) and the percentage.
struct ProgressForms {
    std::optional<int> counter;
    std::optional<int> percent;
};
ProgressForms progressForms(QStringView text, qsizetype startsBefore);
// Whether `text` may hold a percentage at all: a cheap test before progress().
bool mayHoldProgress(QStringView text);

} // namespace Schedule
