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

QString clock(const QDateTime& at, const QDateTime& now) {
    static const char* const kDays[] = {"Montag",  "Dienstag", "Mittwoch", "Donnerstag",
                                        "Freitag", "Samstag",  "Sonntag"};
    const QDateTime local = at.toLocalTime();
    const QString time = local.toString(QStringLiteral("HH:mm"));
    const qint64 days = now.toLocalTime().date().daysTo(local.date());
    if (days <= 0) return time;
    if (days == 1) return QStringLiteral("morgen ") + time;
    if (days < 7) return QString::fromLatin1(kDays[local.date().dayOfWeek() - 1]) + u' ' + time;
    return local.toString(QStringLiteral("dd.MM.yyyy HH:mm"));
}

QString ahead(const QDateTime& at, const QDateTime& now) {
    const qint64 seconds = now.secsTo(at);
    if (seconds <= 0) return QStringLiteral("jetzt");
    if (const qint64 minutes = (seconds + 59) / 60; minutes < 60)
        return QStringLiteral("in %1 Min.").arg(minutes);
    const QString when = clock(at, now);
    return now.toLocalTime().date() == at.toLocalTime().date() ? QStringLiteral("heute ") + when
                                                               : when;
}

} // namespace RelativeTime
