#include "Schedule.h"

#include "base/Text.h"

#include <QRegularExpression>

#include <cmath>
#include <ctime>
#include <limits>

QString text(TaskStatus status) {
    switch (status) {
    case TaskStatus::Running:
        return QStringLiteral("running");
    case TaskStatus::Error:
        return QStringLiteral("error");
    case TaskStatus::Red:
        return QStringLiteral("red");
    case TaskStatus::Never:
        return QStringLiteral("never");
    case TaskStatus::Yellow:
        return QStringLiteral("yellow");
    case TaskStatus::Green:
        return QStringLiteral("green");
    }
    return {};
}

std::optional<TaskStatus> taskStatusFromText(const QString& t) {
    for (TaskStatus s : {TaskStatus::Running, TaskStatus::Error, TaskStatus::Red, TaskStatus::Never,
                         TaskStatus::Yellow, TaskStatus::Green})
        if (text(s) == t) return s;
    return std::nullopt;
}

namespace Schedule {

namespace {

// Today's (the day of `now`) wall-clock hour:minute:00 as a point in time; a time
// in a daylight-saving gap moves on to the next existing one.
std::optional<QDateTime> todayAt(const std::tm& today, qint64 hour, qint64 minute) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59) return std::nullopt;
    std::tm p = today;
    p.tm_hour = static_cast<int>(hour);
    p.tm_min = static_cast<int>(minute);
    p.tm_sec = 0;
    p.tm_isdst = -1;
    std::time_t t = std::mktime(&p);
    if (t == -1) return std::nullopt;
    std::tm back{};
    localtime_r(&t, &back);
    if (back.tm_hour != hour || back.tm_min != minute) {
        // Inside a gap mktime may land before or after it: take the gap's end.
        std::tm probe = today;
        probe.tm_hour = static_cast<int>(hour);
        probe.tm_min = static_cast<int>(minute);
        probe.tm_sec = 0;
        probe.tm_isdst = 0;
        const std::time_t a = std::mktime(&probe);
        probe = today;
        probe.tm_hour = static_cast<int>(hour);
        probe.tm_min = static_cast<int>(minute);
        probe.tm_sec = 0;
        probe.tm_isdst = 1;
        const std::time_t b = std::mktime(&probe);
        // The first existing second after the gap is the later transition point.
        // Wall clocks are compared with their date: a gap at midnight starts on
        // the day before.
        const auto wall = [](const std::tm& m, qint64 h, qint64 min) {
            return ((static_cast<qint64>(m.tm_year) * 400 + m.tm_yday) * 24 + h) * 60 + min;
        };
        const qint64 target = wall(today, hour, minute);
        std::time_t lo = std::min(a, b), hi = std::max(a, b);
        while (hi - lo > 1) { // find the first instant whose wall clock is past hour:minute
            std::time_t mid = lo + (hi - lo) / 2;
            std::tm m{};
            localtime_r(&mid, &m);
            if (wall(m, m.tm_hour, m.tm_min) > target)
                hi = mid;
            else
                lo = mid;
        }
        t = hi;
    } else {
        // A repeated hour: the first of the two.
        std::time_t earlier = t - 3600;
        std::tm e{};
        localtime_r(&earlier, &e);
        if (e.tm_hour == hour && e.tm_min == minute && e.tm_mday == back.tm_mday) t = earlier;
    }
    return QDateTime::fromSecsSinceEpoch(static_cast<qint64>(t), Qt::UTC);
}

// The local day `offset` days from `day`, at midday: never in a daylight-saving gap.
std::optional<std::tm> middayOf(std::tm day, int offset) {
    day.tm_mday += offset;
    day.tm_hour = 12;
    day.tm_min = day.tm_sec = 0;
    day.tm_isdst = -1;
    const std::time_t t = std::mktime(&day);
    if (t == -1) return std::nullopt;
    localtime_r(&t, &day);
    return day;
}

// With catch_up: the start of the latest window that ended before `now`.
std::optional<QDateTime> lastMissedWindow(const std::tm& today, int day, qint64 hour, qint64 minute,
                                          const QDateTime& now) {
    for (int back = 0; back <= 7; ++back) {
        const auto d = middayOf(today, -back);
        if (!d) return std::nullopt;
        if (d->tm_wday + 1 != day) continue;
        const auto slot = todayAt(*d, hour, minute);
        if (slot && slot->addSecs(3600) < now) return slot->addSecs(-3600);
    }
    return std::nullopt;
}

bool weeklyDue(const TaskConfig& task, double age, const std::optional<QDateTime>& last,
               const QDateTime& now) {
    const auto day = task.weekday();
    if (!day) return false;
    const std::time_t nowT = static_cast<std::time_t>(now.toSecsSinceEpoch());
    std::tm today{};
    localtime_r(&nowT, &today);
    const auto hm = task.hourMinute();
    if (!hm) return false;
    if (today.tm_wday + 1 == *day) {
        const auto slot = todayAt(today, hm->first, hm->second);
        if (slot && std::abs(static_cast<double>(slot->msecsTo(now)) / 1000.0) <= 3600.0)
            return age >= 144.0;
    }
    if (!task.catchUp || age < 144.0) return false;
    // A window missed while the machine was off or asleep: due once after it.
    const auto missed = lastMissedWindow(today, *day, hm->first, hm->second, now);
    return missed && (!last || *last < *missed);
}

// The first moment from `now` on in a weekly window at which six days passed since `last`.
std::optional<QDateTime> nextWeekly(const TaskConfig& task, const std::optional<QDateTime>& last,
                                    const QDateTime& now) {
    const auto day = task.weekday();
    const auto hm = task.hourMinute();
    if (!day || !hm) return std::nullopt;
    const QDateTime ready = last ? last->addSecs(144 * 3600) : now;
    const std::time_t nowT = static_cast<std::time_t>(now.toSecsSinceEpoch());
    std::tm today{};
    localtime_r(&nowT, &today);
    for (int ahead = 0; ahead <= 14; ++ahead) {
        const auto d = middayOf(today, ahead);
        if (!d) return std::nullopt;
        if (d->tm_wday + 1 != *day) continue;
        const auto slot = todayAt(*d, hm->first, hm->second);
        if (!slot) return std::nullopt;
        const QDateTime from = std::max({slot->addSecs(-3600), now, ready});
        if (from <= slot->addSecs(3600)) return from;
    }
    return std::nullopt;
}

} // namespace

NextDue nextDue(const TaskConfig& task, const std::optional<QDateTime>& last, const QDateTime& now,
                const MountedTest& mounted) {
    const auto after = [&](std::optional<qint64> ms) -> std::optional<QDateTime> {
        if (!ms) return std::nullopt;
        return last ? std::max(now, last->addMSecs(*ms)) : now;
    };
    switch (task.type) {
    case TaskType::Scheduled:
        return {after(hoursAsMs(task.intervalMinutes / 60.0)), {}};
    case TaskType::OnMount: {
        if (volumesMounted(task, mounted)) return {after(hoursAsMs(task.intervalHours)), {}};
        QStringList missing;
        for (const QString& v : task.watchVolumes)
            if (!task.requireAllVolumes || !mounted(v)) missing.append(v);
        return {std::nullopt, missing};
    }
    case TaskType::Weekly:
        if (isDue(task, last, now, mounted)) return {now, {}};
        return {nextWeekly(task, last, now), {}};
    case TaskType::External:
        break;
    }
    return {};
}

std::optional<qint64> hoursAsMs(double hours) {
    if (!std::isfinite(hours) || std::abs(hours) > 1e6) return std::nullopt;
    return static_cast<qint64>(hours * 3'600'000.0);
}

void keepEarliest(QDateTime& next, const QDateTime& at, const QDateTime& now) {
    if (at.isValid() && at > now && (!next.isValid() || at < next)) next = at;
}

std::optional<double> hours(const std::optional<QDateTime>& since, const QDateTime& now) {
    if (!since) return std::nullopt;
    return static_cast<double>(since->msecsTo(now)) / 1000.0 / 3600.0;
}

TaskStatus light(std::optional<double> h, double warn, double red) {
    if (!h) return TaskStatus::Never;
    if (*h <= warn) return TaskStatus::Green;
    if (*h <= red) return TaskStatus::Yellow;
    return TaskStatus::Red;
}

bool volumesMounted(const TaskConfig& task, const MountedTest& mounted) {
    if (task.watchVolumes.isEmpty()) return true;
    for (const QString& v : task.watchVolumes) {
        const bool m = mounted(v);
        if (task.requireAllVolumes && !m) return false;
        if (!task.requireAllVolumes && m) return true;
    }
    return task.requireAllVolumes;
}

bool isDue(const TaskConfig& task, const std::optional<QDateTime>& lastSuccess,
           const QDateTime& now, const MountedTest& mounted) {
    const double age = hours(lastSuccess, now).value_or(std::numeric_limits<double>::infinity());
    switch (task.type) {
    case TaskType::Scheduled:
        return task.intervalMinutes / 60.0 <= age;
    case TaskType::OnMount:
        return volumesMounted(task, mounted) && task.intervalHours <= age;
    case TaskType::Weekly:
        return weeklyDue(task, age, lastSuccess, now);
    case TaskType::External:
        return false;
    }
    return false;
}

bool mayHoldProgress(QStringView text) {
    return text.contains(u'%') || text.contains(u"to-check=") || text.contains(u"to-chk=");
}

ProgressForms progressForms(QStringView text, qsizetype startsBefore) {
    ProgressForms forms;
    const bool mayCount = text.contains(u"to-check=") || text.contains(u"to-chk=");
    if (!mayCount && !text.contains(u'%')) return forms;
    // Matching is not documented as thread-safe; every runner thread keeps its own.
    // rsync 3.1 and later print "to-chk=", older ones "to-check=".
    thread_local const QRegularExpression counter(QStringLiteral("to-(?:check|chk)=(\\d+)/(\\d+)"),
                                                  QRegularExpression::UseUnicodePropertiesOption);
    thread_local const QRegularExpression percent(QStringLiteral("\\b(\\d{1,3})%"),
                                                  QRegularExpression::UseUnicodePropertiesOption);
    if (const auto m = mayCount ? counter.match(text) : QRegularExpressionMatch();
        m.hasMatch() && m.capturedStart(0) < startsBefore) {
        const QStringView matched = m.capturedView(0);
        QList<qint64> numbers;
        for (QStringView piece :
             matched.mid(matched.indexOf(u'=') + 1).split(u'/', Qt::SkipEmptyParts))
            if (const auto v = Text::parseInteger(piece)) numbers.append(*v);
        if (numbers.size() == 2 && numbers[1] >= 1) {
            const double share = static_cast<double>(numbers[1] - numbers[0]) /
                                 static_cast<double>(numbers[1]) * 100.0;
            if (std::isfinite(share) && std::abs(share) < 2e9)
                forms.counter = static_cast<int>(share);
        }
    }
    const auto m = percent.match(text);
    if (!m.hasMatch() || m.capturedStart(0) >= startsBefore) return forms;
    bool ok = false;
    const int v = m.capturedView(0).chopped(1).toInt(&ok);
    if (ok && v <= 100) forms.percent = v;
    return forms;
}

std::optional<int> progress(QStringView text) {
    const ProgressForms forms = progressForms(text, text.size());
    return forms.counter ? forms.counter : forms.percent;
}

} // namespace Schedule
