#include "RelativeTime.h"

namespace RelativeTime {

QString text(const std::optional<QDateTime>& date, const QDateTime& now) {
    if (!date) return QStringLiteral("nie");
    const qint64 minutes = date->secsTo(now) / 60;
    if (minutes < 1) return QStringLiteral("gerade eben");
    if (minutes <= 59) return QStringLiteral("vor %1 Min.").arg(minutes);
    if (minutes <= 2879) return QStringLiteral("vor %1 Std.").arg(minutes / 60);
    return QStringLiteral("vor %1 Tagen").arg(minutes / 1440);
}

QDateTime nextChange(const QDateTime& date, const QDateTime& now) {
    const qint64 minutes = date.secsTo(now) / 60;
    if (minutes < 1) return date.addSecs(60);
    if (minutes <= 59) return date.addSecs((minutes + 1) * 60);
    if (minutes <= 2879) return date.addSecs((minutes / 60 + 1) * 3600);
    return date.addSecs((minutes / 1440 + 1) * 86400);
}

} // namespace RelativeTime
