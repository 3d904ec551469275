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
} // namespace RelativeTime
