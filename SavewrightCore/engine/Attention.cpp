// Telling the person when a backup needs them: once per failure streak, when
// overdue and then at most every remind_hours, on recovery, and when a run hangs.
#include "Engine.h"

#include "base/Language.h"
#include "records/RelativeTime.h"

#include <QEvent>
#include <QLocale>
#include <QSettings>
#include <QUrl>

#include <cmath>

namespace {

const QString kPrefix = QStringLiteral("attention/");
const QString kFailed = QStringLiteral("failed");
const QString kOverdueAt = QStringLiteral("overdueAt"); // last overdue notice, seconds
const QString kSince = QStringLiteral("since");         // first seen without a success

QString lastSuccessText(const QDateTime& last, const QDateTime& now) {
    return Language::translate("Attention", "letzte erfolgreiche Sicherung %1")
        .arg(RelativeTime::text(last, now));
}

// What the person reads as a number: "0,1", "90".
QString decimal(double value) {
    return QLocale(Language::chosen()).toString(value, 'g', 6);
}

// How long a task may be held before it is said: its own interval.
qint64 heldLimitSeconds(const TaskConfig& c) {
    double seconds = 7 * 86400.0;
    if (c.type == TaskType::Scheduled) seconds = c.intervalMinutes * 60.0;
    if (c.type == TaskType::OnMount) seconds = c.intervalHours * 3600.0;
    return std::isfinite(seconds) ? static_cast<qint64>(std::clamp(seconds, 60.0, 1e9)) : 86400;
}

QString runningFor(qint64 seconds) {
    return seconds < 60 ? Language::translate("Attention", "%1 Sek.").arg(seconds)
                        : Language::translate("Attention", "%1 Min.").arg(seconds / 60);
}

// A notice about a task, with its newest log to open.
Alert about(const TaskState& task, Alert::Kind kind, const QString& title, const QString& body) {
    return Alert{kind, task.config.value().name, title, body, task.summary.value().latestFile};
}

} // namespace

// Failures, recoveries and overdue spells of one task, against what was told.
void Engine::judgeOutcome(const TaskState& task, QVariantMap& memory, QList<Alert>& news) {
    const QDateTime t = now;
    const qint64 nowSecs = t.toSecsSinceEpoch();
    const TaskConfig& c = task.config.value();
    const LogSummary& s = task.summary.value();
    const auto alert = [&](Alert::Kind kind, const QString& title, const QString& body) {
        return about(task, kind, title, body);
    };
    // Overdue: no success for red_hours, or none since it was first seen that long ago.
    const std::optional<QDateTime> last = task.scheduleSuccess(t);
    if (!last && !memory.contains(kSince)) memory[kSince] = nowSecs;
    if (last) memory.remove(kSince);
    const double hours =
        last ? last->secsTo(t) / 3600.0 : (nowSecs - memory.value(kSince).toLongLong()) / 3600.0;
    const bool overdue = hours > c.redHours;
    // External tasks too, when their log says so; a stop (ABORTED) is no failure.
    const bool failed = s.latestStatus == LogStatus::Failed &&
                        !(s.latestFile && forgivenFailures_.contains(*s.latestFile));

    if (s.latestStatus == LogStatus::Success && !overdue &&
        (memory.value(kFailed).toBool() || memory.contains(kOverdueAt))) {
        memory.remove(kFailed);
        memory.remove(kOverdueAt);
        emitAlert(alert(Alert::Kind::Recovered,
                        Language::translate("Attention", "%1: wieder ok").arg(c.name),
                        Language::translate("Attention", "Sicherung erfolgreich")));
    }
    if (failed && !memory.value(kFailed).toBool()) {
        memory[kFailed] = true;
        news.append(alert(Alert::Kind::Failed,
                          Language::translate("Attention", "%1: Fehler").arg(c.name),
                          s.failureLine ? TaskRunner::shown(*s.failureLine)
                                        : Language::translate("Attention", "Fehler")));
    } else if (s.latestStatus == LogStatus::Success) {
        memory.remove(kFailed);
    }
    const auto hoursOn = [](qint64 fromSecs, double h) {
        const auto ms = Schedule::hoursAsMs(h);
        return ms ? QDateTime::fromSecsSinceEpoch(fromSecs).addMSecs(*ms) : QDateTime();
    };
    const qint64 spellStart = last ? last->toSecsSinceEpoch() : memory.value(kSince).toLongLong();
    if (!overdue) {
        memory.remove(kOverdueAt);
        considerAttention(hoursOn(spellStart, c.redHours));
    } else if (!memory.contains(kOverdueAt) ||
               nowSecs - memory.value(kOverdueAt).toLongLong() >= c.remindHours * 3600.0) {
        memory[kOverdueAt] = nowSecs;
        // A skip is never silent for long: the notice says what holds the task.
        const auto hold = task.heldBy.value();
        const QString title =
            hold ? Language::translate("Attention", "%1: überfällig – zurückgestellt: %2")
                       .arg(c.name, hold->text)
                 : Language::translate("Attention", "%1: überfällig").arg(c.name);
        news.append(
            alert(Alert::Kind::Overdue, title,
                  last ? lastSuccessText(*last, t) : Language::translate("Attention", "noch nie")));
    }
    if (overdue) considerAttention(hoursOn(memory.value(kOverdueAt).toLongLong(), c.remindHours));
}

void Engine::considerAttention(const QDateTime& at) {
    Schedule::keepEarliest(attentionWake_, at, now.value());
}

void Engine::checkAttention() {
    // Right after a wake-up what looks wrong may be the network still coming back.
    if (!started || observeOnly || shuttingDown || !config.value().notify || settling()) return;
    const QDateTime t = now;
    attentionWake_ = QDateTime();
    QList<Alert> news; // failures and overdue spells, perhaps summarised
    bool changed = false;
    for (const auto& task : tasks.value()) {
        const TaskConfig& c = task->config.value();
        if (!c.notify) continue;
        QVariantMap& remembered = attentionMemory(c.name);
        const QVariantMap before = remembered;
        QVariantMap memory = before;
        const auto alert = [&](Alert::Kind kind, const QString& title, const QString& body) {
            return about(*task, kind, title, body);
        };

        // A machine that was simply off: the backup due at start may well
        // succeed; until its run had its turn, nothing is said of it.
        if (!startRunPending(*task)) judgeOutcome(*task, memory, news);

        // A run that lasts longer than it may: once per run.
        if (task->running && c.maxRunMinutes && task->startTime.value()) {
            const qint64 seconds = task->startTime.value()->secsTo(t);
            const QString run =
                c.name + u'@' + task->startTime.value()->toString(Qt::ISODateWithMs);
            if (seconds >= *c.maxRunMinutes * 60.0 && !hungAnnounced_.contains(run)) {
                hungAnnounced_.insert(run);
                emitAlert(alert(Alert::Kind::Hung,
                                Language::translate("Attention", "%1 läuft seit %2")
                                    .arg(c.name, runningFor(seconds)),
                                Language::translate("Attention", "länger als %1 Min.")
                                    .arg(decimal(*c.maxRunMinutes))));
            }
        }
        // Kept from starting by an earlier run's script for longer than the
        // task's own interval: never silent for long. Once per spell.
        if (const auto spell = held_.find(c.name);
            spell != held_.end() && !spell->told && spell->since.secsTo(t) > heldLimitSeconds(c)) {
            spell->told = true;
            emitAlert(alert(
                Alert::Kind::Held,
                Language::translate("Attention", "%1: wartet auf einen früheren Lauf").arg(c.name),
                Language::translate("Attention",
                                    "Ein früherer Lauf läuft noch, seit dem ersten Startversuch %1")
                    .arg(RelativeTime::text(spell->since, t))));
        }
        if (memory != before) {
            changed = true;
            remembered = memory;
            const QString key = attentionKey(c.name);
            if (memory.isEmpty())
                seenStore->remove(key);
            else
                seenStore->setValue(key, memory);
        }
    }
    if (changed) storeSoon();
    if (std::exchange(summarizeAttention_, false) && news.size() > 1) {
        QStringList names;
        for (const Alert& a : news)
            names.append(a.task);
        emitAlert(Alert{Alert::Kind::Summary, QString(),
                        Language::translate("Attention", "%n Tasks brauchen Aufmerksamkeit",
                                            nullptr, news.size()),
                        names.join(QStringLiteral(", ")), std::nullopt});
        return;
    }
    for (const Alert& a : news)
        emitAlert(a);
}

QString Engine::storeKey(const QString& prefix, const QString& task) const {
    // By repository too: another repository's task of the same name is another backup.
    return prefix + QString::fromLatin1(QUrl::toPercentEncoding(paths.repo)) + u'/' + task;
}

QVariantMap& Engine::attentionMemory(const QString& task) {
    // Read from the store once; every check after goes by this copy.
    auto found = attentionMemory_.find(task);
    if (found == attentionMemory_.end())
        found = attentionMemory_.insert(task, seenStore->value(attentionKey(task)).toMap());
    return *found;
}

QString Engine::attentionKey(const QString& task) const {
    const QString key = storeKey(kPrefix, task);
    const QString earlier = kPrefix + task; // kept by name alone before
    if (!seenStore->contains(key) && seenStore->value(earlier).typeId() == QMetaType::QVariantMap) {
        seenStore->setValue(key, seenStore->value(earlier));
        seenStore->remove(earlier);
    }
    return key;
}

void Engine::emitAlert(const Alert& alert) {
    if (onAlert) onAlert(alert);
}

bool Engine::eventFilter(QObject* watched, QEvent* event) {
    if (watched != seenStore.get() || event->type() != QEvent::UpdateRequest) return false;
    storeSoon();
    return true;
}

void Engine::storeSoon() {
    if (!storeTimer_.isActive()) storeTimer_.start();
}

void Engine::store() {
    storeTimer_.stop();
    seenStore->sync();
    // Unsaved, the same notices come again at every start: say why, once.
    const QString prefix = Language::translate("Attention", "Einstellungen nicht speicherbar: ");
    replaceProblem(
        prefix, seenStore->status() == QSettings::NoError
                    ? std::nullopt
                    : std::optional(prefix + seenStore->fileName() +
                                    Language::translate("Attention", " (Gemeldetes wird nach einem "
                                                                     "Neustart erneut gemeldet)")));
}
