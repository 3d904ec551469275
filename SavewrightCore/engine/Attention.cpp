// Telling the person when a backup needs them: once per failure streak, when
// overdue and then at most every remind_hours, on recovery, and when a run hangs.
#include "Engine.h"

#include <QSettings>

#include <cmath>

namespace {

const QString kPrefix = QStringLiteral("attention/");
const QString kFailed = QStringLiteral("failed");
const QString kOverdueAt = QStringLiteral("overdueAt"); // last overdue notice, seconds
const QString kSince = QStringLiteral("since");         // first seen without a success

QString daysAgo(double hours) {
    const qint64 days = std::max<qint64>(1, static_cast<qint64>(std::floor(hours / 24.0)));
    return days == 1 ? QStringLiteral("letzte erfolgreiche Sicherung vor 1 Tag")
                     : QStringLiteral("letzte erfolgreiche Sicherung vor %1 Tagen").arg(days);
}

} // namespace

void Engine::checkAttention() {
    if (!started || observeOnly || shuttingDown || !config.value().notify) return;
    const QDateTime t = now;
    const qint64 nowSecs = t.toSecsSinceEpoch();
    QList<Alert> news; // failures and overdue spells, perhaps summarised
    bool changed = false;
    for (const auto& task : tasks.value()) {
        const TaskConfig& c = task->config.value();
        if (!c.notify) continue;
        const QString key = kPrefix + c.name;
        const QVariantMap before = seenStore->value(key).toMap();
        QVariantMap memory = before;
        const LogSummary& s = task->summary.value();
        const auto alert = [&](Alert::Kind kind, const QString& title, const QString& body) {
            return Alert{kind, c.name, title, body, s.latestFile};
        };

        // Overdue: no success for red_hours, or none since it was first seen that long ago.
        const std::optional<QDateTime> last = task->scheduleSuccess(t);
        if (!last && !memory.contains(kSince)) memory[kSince] = nowSecs;
        if (last) memory.remove(kSince);
        const double hours = last ? last->secsTo(t) / 3600.0
                                  : (nowSecs - memory.value(kSince).toLongLong()) / 3600.0;
        const bool overdue = hours > c.redHours;
        // External tasks too, when their log says so; a stop (ABORTED) is no failure.
        const bool failed = s.latestStatus == u"FAILED";

        if (s.latestStatus == u"SUCCESS" && !overdue &&
            (memory.value(kFailed).toBool() || memory.contains(kOverdueAt))) {
            memory.remove(kFailed);
            memory.remove(kOverdueAt);
            emitAlert(alert(Alert::Kind::Recovered, c.name + QStringLiteral(": wieder ok"),
                            QStringLiteral("Sicherung erfolgreich")));
        }
        if (failed && !memory.value(kFailed).toBool()) {
            memory[kFailed] = true;
            news.append(alert(Alert::Kind::Failed, c.name + QStringLiteral(": Fehler"),
                              s.failureLine.value_or(QStringLiteral("Fehler"))));
        } else if (s.latestStatus == u"SUCCESS") {
            memory.remove(kFailed);
        }
        if (!overdue) {
            memory.remove(kOverdueAt);
        } else if (!memory.contains(kOverdueAt) ||
                   nowSecs - memory.value(kOverdueAt).toLongLong() >= c.remindHours * 3600.0) {
            memory[kOverdueAt] = nowSecs;
            news.append(alert(Alert::Kind::Overdue, c.name + QStringLiteral(": überfällig"),
                              last ? daysAgo(hours) : QStringLiteral("noch nie")));
        }

        // A run that lasts longer than it may: once per run.
        if (task->running && c.maxRunMinutes && task->startTime.value()) {
            const qint64 minutes = task->startTime.value()->secsTo(t) / 60;
            const QString run =
                c.name + u'@' + task->startTime.value()->toString(Qt::ISODateWithMs);
            if (minutes >= *c.maxRunMinutes && !hungAnnounced_.contains(run)) {
                hungAnnounced_.insert(run);
                emitAlert(alert(Alert::Kind::Hung,
                                QStringLiteral("%1 läuft seit %2 Min.").arg(c.name).arg(minutes),
                                QStringLiteral("länger als %1 Min.").arg(*c.maxRunMinutes)));
            }
        }
        if (memory != before) {
            changed = true;
            if (memory.isEmpty())
                seenStore->remove(key);
            else
                seenStore->setValue(key, memory);
        }
    }
    if (changed) seenStore->sync();
    if (std::exchange(summarizeAttention_, false) && news.size() > 1) {
        QStringList names;
        for (const Alert& a : news)
            names.append(a.task);
        emitAlert(Alert{Alert::Kind::Summary, QString(),
                        QStringLiteral("%1 Tasks brauchen Aufmerksamkeit").arg(news.size()),
                        names.join(QStringLiteral(", ")), std::nullopt});
        return;
    }
    for (const Alert& a : news)
        emitAlert(a);
}

void Engine::emitAlert(const Alert& alert) {
    if (onAlert) onAlert(alert);
}
