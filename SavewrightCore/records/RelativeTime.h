#pragma once
// How long ago something was, in the unit that fits, as rows and notifications say it.

#include <QDateTime>
#include <QString>

#include <optional>

namespace RelativeTime {
// "nie", "gerade eben", "vor N Min.", "vor N Std.", "vor N Tagen".
QString text(const std::optional<QDateTime>& date, const QDateTime& now);
// The first moment after `now` at which text(date, …) reads differently.
QDateTime nextChange(const QDateTime& date, const QDateTime& now);
// A moment ahead, on the local clock: "14:30" today, "morgen 14:30",
// "Sonntag 14:30" within the week, "12.01.2027 14:30" beyond.
QString clock(const QDateTime& at, const QDateTime& now);
// When something comes: "jetzt", "in N Min." within the hour, else as clock()
// with "heute" before a time of today.
QString ahead(const QDateTime& at, const QDateTime& now);
} // namespace RelativeTime
