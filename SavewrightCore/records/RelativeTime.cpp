#include "RelativeTime.h"

#include "base/Language.h"

namespace RelativeTime {

QString text(const std::optional<QDateTime>& date, const QDateTime& now) {
    if (!date) return Language::translate("RelativeTime", "nie");
    const qint64 minutes = date->secsTo(now) / 60;
    if (minutes < 1) return Language::translate("RelativeTime", "gerade eben");
    if (minutes <= 59) return Language::translate("RelativeTime", "vor %1 Min.").arg(minutes);
    if (minutes <= 2879)
        return Language::translate("RelativeTime", "vor %1 Std.").arg(minutes / 60);
    const qint64 days = minutes / 1440;
    return Language::translate("RelativeTime", "vor %n Tagen", nullptr, days);
}

QDateTime nextChange(const QDateTime& date, const QDateTime& now) {
    const qint64 minutes = date.secsTo(now) / 60;
    if (minutes < 1) return date.addSecs(60);
    if (minutes <= 59) return date.addSecs((minutes + 1) * 60);
    if (minutes <= 2879) return date.addSecs((minutes / 60 + 1) * 3600);
    return date.addSecs((minutes / 1440 + 1) * 86400);
}

QString clock(const QDateTime& at, const QDateTime& now) {
    static const char* const kDays[] = {QT_TRANSLATE_NOOP("RelativeTime", "Montag"),
                                        QT_TRANSLATE_NOOP("RelativeTime", "Dienstag"),
                                        QT_TRANSLATE_NOOP("RelativeTime", "Mittwoch"),
                                        QT_TRANSLATE_NOOP("RelativeTime", "Donnerstag"),
                                        QT_TRANSLATE_NOOP("RelativeTime", "Freitag"),
                                        QT_TRANSLATE_NOOP("RelativeTime", "Samstag"),
                                        QT_TRANSLATE_NOOP("RelativeTime", "Sonntag")};
    const QDateTime local = at.toLocalTime();
    const QString time = local.toString(QStringLiteral("HH:mm"));
    const qint64 days = now.toLocalTime().date().daysTo(local.date());
    if (days <= 0) return time;
    if (days == 1) return Language::translate("RelativeTime", "morgen %1").arg(time);
    if (days < 7)
        return Language::translate("RelativeTime", kDays[local.date().dayOfWeek() - 1]) + u' ' +
               time;
    return local.toString(Language::translate("RelativeTime", "dd.MM.yyyy HH:mm"));
}

QString ahead(const QDateTime& at, const QDateTime& now) {
    const qint64 seconds = now.secsTo(at);
    if (seconds <= 0) return Language::translate("RelativeTime", "jetzt");
    if (const qint64 minutes = (seconds + 59) / 60; minutes < 60)
        return Language::translate("RelativeTime", "in %1 Min.").arg(minutes);
    const QString when = clock(at, now);
    return now.toLocalTime().date() == at.toLocalTime().date()
               ? Language::translate("RelativeTime", "heute %1").arg(when)
               : when;
}

} // namespace RelativeTime
