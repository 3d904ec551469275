#include "TaskState.h"

#include "base/Language.h"

namespace {
constexpr qint64 kFutureToleranceSeconds = 300;
} // namespace

TaskState::TaskState(const TaskConfig& config_, QObject* parent)
    : QObject(parent), id(config_.name), config(config_) {}

TaskStatus TaskState::status(const QDateTime& now) const {
    if (running.value() || runningElsewhere.value()) return TaskStatus::Running;
    return health(now);
}

TaskStatus TaskState::health(const QDateTime& now) const {
    if (config.value().hold) return TaskStatus::Error;
    if (transientError.value()) return TaskStatus::Error;
    const LogSummary& s = summary.value();
    if (s.latestStatus == LogStatus::Failed) return TaskStatus::Error;
    const TaskConfig& c = config.value();
    const std::optional<QDateTime> last = scheduleSuccess(now);
    // Only a success from the future on record: the clock was wrong, look at it.
    if (!last && s.lastSuccess) return TaskStatus::Red;
    return Schedule::light(Schedule::hours(last, now), c.warnHours, c.redHours);
}

std::optional<QDateTime> TaskState::lastRun() const {
    const std::optional<QDateTime> logged = summary.value().lastSuccess;
    const std::optional<QDateTime> unseen = unseenSuccess.value();
    return unseen && (!logged || *logged < *unseen) ? unseen : logged;
}

std::optional<QDateTime> TaskState::scheduleSuccess(const QDateTime& now) const {
    std::optional<QDateTime> last = summary.value().lastSuccess;
    if (last && now.secsTo(*last) > kFutureToleranceSeconds) last = std::nullopt;
    if (const auto unseen = unseenSuccess.value(); unseen && (!last || *last < *unseen))
        last = unseen;
    return last;
}

std::optional<QString> TaskState::errorText() const {
    if (const auto& hold = config.value().hold) return hold;
    if (transientError.value()) return transientError.value();
    const LogSummary& s = summary.value();
    if (s.latestStatus == LogStatus::Failed)
        return s.failureLine.value_or(Language::translate("TaskState", "Fehler"));
    return std::nullopt;
}

QDateTime TaskState::nextLightChange(const QDateTime& now) const {
    const auto since = scheduleSuccess(now);
    if (!since) return {};
    const TaskConfig& c = config.value();
    QDateTime next;
    for (const double hours : {c.warnHours, c.redHours})
        if (const auto ms = Schedule::hoursAsMs(hours))
            Schedule::keepEarliest(next, since->addMSecs(*ms), now);
    return next;
}
