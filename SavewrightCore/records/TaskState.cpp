#include "TaskState.h"

TaskState::TaskState(const TaskConfig& config_, QObject* parent)
    : QObject(parent), id(config_.name), config(config_) {}

TaskStatus TaskState::status(const QDateTime& now) const {
    if (running.value() || runningElsewhere.value()) return TaskStatus::Running;
    if (transientError.value()) return TaskStatus::Error;
    const LogSummary& s = summary.value();
    if (s.latestStatus == u"FAILED") return TaskStatus::Error;
    const TaskConfig& c = config.value();
    return Schedule::light(Schedule::hours(s.lastSuccess, now), c.warnHours, c.redHours);
}

std::optional<QString> TaskState::errorText() const {
    if (transientError.value()) return transientError.value();
    const LogSummary& s = summary.value();
    if (s.latestStatus == u"FAILED") return s.failureLine.value_or(QStringLiteral("Fehler"));
    return std::nullopt;
}
