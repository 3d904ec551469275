#include "StatusReport.h"

#include "base/Language.h"
#include "base/Text.h"
#include "model/ViewModel.h"

#include <QJsonArray>

using namespace Qt::StringLiterals;

namespace StatusReport {

namespace {

QJsonValue orNull(const std::optional<QString>& v) {
    return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null);
}

QJsonValue utc(const std::optional<QDateTime>& t) {
    return t ? QJsonValue(t->toUTC().toString(Qt::ISODate)) : QJsonValue(QJsonValue::Null);
}

QJsonObject task(const TaskState& t, const Engine& engine) {
    const QDateTime now = engine.now.value();
    const TaskConfig& c = t.config.value();
    const std::optional<Hold> hold = t.heldBy.value();
    const Schedule::NextDue next = engine.nextRun(t);
    const LogSummary& s = t.summary.value();
    const std::optional<QDateTime> last = t.lastRun();
    // An absent value is null, never a missing key: the schema stays one shape.
    return QJsonObject{
        {u"name"_s, c.name},
        {u"group"_s, orNull(c.group)},
        {u"kind"_s, text(c.type)},
        {u"status"_s, text(t.status(now))},
        {u"health"_s, text(t.health(now))},
        {u"lastSuccess"_s, utc(last)},
        {u"ageSeconds"_s, last ? QJsonValue(last->secsTo(now)) : QJsonValue()},
        {u"latestStatus"_s, s.latestStatus ? QJsonValue(text(*s.latestStatus)) : QJsonValue()},
        {u"failureLine"_s, orNull(t.errorText())},
        {u"running"_s, t.isRunning()},
        {u"runningHere"_s, t.running.value()},
        {u"progress"_s, t.progress.value() ? QJsonValue(*t.progress.value()) : QJsonValue()},
        {u"heldBy"_s, hold ? QJsonValue(hold->key) : QJsonValue()},
        {u"heldReason"_s, hold ? QJsonValue(hold->text) : QJsonValue()},
        {u"nextRun"_s, utc(next.at)},
        {u"waitsForVolumes"_s, QJsonArray::fromStringList(next.volumes)},
        {u"requireAllVolumes"_s, c.requireAllVolumes}};
}

// The report's status word as a person reads it.
QString statusWord(const QString& status) {
    static const QHash<QString, const char*> words{
        {QStringLiteral("running"), QT_TRANSLATE_NOOP("StatusReport", "läuft")},
        {QStringLiteral("error"), QT_TRANSLATE_NOOP("StatusReport", "Fehler")},
        {QStringLiteral("red"), QT_TRANSLATE_NOOP("StatusReport", "überfällig")},
        {QStringLiteral("never"), QT_TRANSLATE_NOOP("StatusReport", "nie gelaufen")},
        {QStringLiteral("yellow"), QT_TRANSLATE_NOOP("StatusReport", "Warnung")},
        {QStringLiteral("green"), QT_TRANSLATE_NOOP("StatusReport", "ok")}};
    const char* word = words.value(status);
    return word ? Language::translate("StatusReport", word) : status;
}

// Names and failure lines come from config.toml and the scripts: a terminal
// must never take their control characters as commands.
QString forTerminal(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

// What the table says of the next start: the reason it is held back, or when.
QString nextRun(const QJsonObject& t, const QDateTime& now) {
    if (const QJsonValue reason = t.value(u"heldReason"); reason.isString())
        return ViewModel::heldText(forTerminal(reason.toString()));
    if (t.value(u"running").toBool()) return {};
    Schedule::NextDue next;
    if (const QDateTime at = QDateTime::fromString(t.value(u"nextRun").toString(), Qt::ISODate);
        at.isValid())
        next.at = at;
    for (const QJsonValue v : t.value(u"waitsForVolumes").toArray())
        next.volumes.append(v.toString());
    const auto text = ViewModel::nextRunText(next, t.value(u"requireAllVolumes").toBool(), now);
    return text ? forTerminal(*text) : QString();
}

} // namespace

QJsonObject of(const Engine& engine, const QString& source) {
    const QDateTime now = engine.now.value();
    QJsonArray tasks;
    for (const auto& t : engine.tasks.value())
        tasks.append(task(*t, engine));
    return {
        {u"schema"_s, kSchema},
        {u"source"_s, source},
        {u"generated"_s, now.toUTC().toString(Qt::ISODate)},
        {u"repo"_s, engine.paths.repo},
        {u"observeOnly"_s, engine.observeOnly},
        {u"paused"_s, engine.paused.value()},
        {u"countLine"_s, ViewModel::countLine(engine.tasks.value(), now, engine.paused.value())},
        {u"problems"_s, QJsonArray::fromStringList(engine.problems.value())},
        {u"tasks"_s, tasks}};
}

QJsonObject essentials(const QJsonObject& report) {
    QJsonObject e = report;
    e.remove(u"generated");
    QJsonArray tasks;
    for (const QJsonValue v : report.value(u"tasks").toArray()) {
        QJsonObject t = v.toObject();
        t.remove(u"ageSeconds");
        t.remove(u"nextRun"); // moves with the clock while a task is due
        tasks.append(t);
    }
    e[u"tasks"] = tasks;
    return e;
}

int exitCode(const QJsonObject& report) {
    int code = report.value(u"problems").toArray().isEmpty() ? 0 : 2;
    for (const QJsonValue v : report.value(u"tasks").toArray()) {
        const QString health = v.toObject().value(u"health").toString();
        if (health == u"yellow")
            code = std::max(code, 1);
        else if (health != u"green")
            code = 2;
    }
    return code;
}

QString line(const QJsonObject& report) {
    const QJsonArray problems = report.value(u"problems").toArray();
    const QString count = report.value(u"countLine").toString();
    return forTerminal(
        problems.isEmpty() ? count : problems.first().toString() + QStringLiteral(" · ") + count);
}

QString table(const QJsonObject& report, const QDateTime& now) {
    QList<QStringList> rows{
        {Language::translate("StatusReport", "Task"), Language::translate("StatusReport", "Gruppe"),
         Language::translate("StatusReport", "Art"), Language::translate("StatusReport", "Status"),
         Language::translate("StatusReport", "Letzter Erfolg"),
         Language::translate("StatusReport", "Nächster Lauf"),
         Language::translate("StatusReport", "Meldung")}};
    for (const QJsonValue v : report.value(u"tasks").toArray()) {
        const QJsonObject t = v.toObject();
        const QDateTime last =
            QDateTime::fromString(t.value(u"lastSuccess").toString(), Qt::ISODate);
        rows.append(
            {forTerminal(t.value(u"name").toString()), forTerminal(t.value(u"group").toString()),
             t.value(u"kind").toString(), statusWord(t.value(u"status").toString()),
             RelativeTime::text(last.isValid() ? std::optional(last) : std::nullopt, now),
             nextRun(t, now), forTerminal(TaskRunner::shown(t.value(u"failureLine").toString()))});
    }
    QString out = Text::alignedTable(rows);
    for (const QJsonValue p : report.value(u"problems").toArray())
        out += forTerminal(p.toString()) + u'\n';
    return out + report.value(u"countLine").toString() + u'\n';
}

} // namespace StatusReport
