// Mistakes in config.toml that do not block loading but would silently change
// what a task does: named with their line, task and key.
#include "AppConfig.h"

#include "base/Language.h"
#include "platform/Mounts.h"

#include <algorithm>
#include <cmath>

namespace {

enum class Kind { Text, Number, Bool, List };

const QHash<QString, Kind>& generalKeys() {
    static const QHash<QString, Kind> keys{{QStringLiteral("poll_interval_seconds"), Kind::Number},
                                           {QStringLiteral("mount_retry_minutes"), Kind::Number},
                                           {QStringLiteral("update_url"), Kind::Text},
                                           {QStringLiteral("notify"), Kind::Bool},
                                           {QStringLiteral("metrics_file"), Kind::Text},
                                           {QStringLiteral("on_battery"), Kind::Text},
                                           {QStringLiteral("on_metered"), Kind::Text},
                                           {QStringLiteral("min_battery_percent"), Kind::Number},
                                           {QStringLiteral("repo"), Kind::Text},
                                           {QStringLiteral("language"), Kind::Text}};
    return keys;
}

const QHash<QString, Kind>& taskKeys() {
    static const QHash<QString, Kind> keys{{QStringLiteral("name"), Kind::Text},
                                           {QStringLiteral("type"), Kind::Text},
                                           {QStringLiteral("script"), Kind::Text},
                                           {QStringLiteral("description"), Kind::Text},
                                           {QStringLiteral("group"), Kind::Text},
                                           {QStringLiteral("max_logs"), Kind::Number},
                                           {QStringLiteral("max_log_mb"), Kind::Number},
                                           {QStringLiteral("on_battery"), Kind::Text},
                                           {QStringLiteral("on_metered"), Kind::Text},
                                           {QStringLiteral("nice"), Kind::Number},
                                           {QStringLiteral("io_class"), Kind::Text},
                                           {QStringLiteral("interval_minutes"), Kind::Number},
                                           {QStringLiteral("interval_hours"), Kind::Number},
                                           {QStringLiteral("warn_hours"), Kind::Number},
                                           {QStringLiteral("red_hours"), Kind::Number},
                                           {QStringLiteral("watch_volumes"), Kind::List},
                                           {QStringLiteral("mount_url"), Kind::Text},
                                           {QStringLiteral("mount_urls"), Kind::List},
                                           {QStringLiteral("require_all_volumes"), Kind::Bool},
                                           {QStringLiteral("day"), Kind::Text},
                                           {QStringLiteral("time"), Kind::Text},
                                           {QStringLiteral("catch_up"), Kind::Bool},
                                           {QStringLiteral("notify"), Kind::Bool},
                                           {QStringLiteral("remind_hours"), Kind::Number},
                                           {QStringLiteral("max_run_minutes"), Kind::Number},
                                           {QStringLiteral("ping_url"), Kind::Text}};
    return keys;
}

bool fits(const TOMLValue& v, Kind kind) {
    switch (kind) {
    case Kind::Text:
        return v.kind() == TOMLValue::Kind::String;
    case Kind::Number:
        return v.kind() == TOMLValue::Kind::Int || v.kind() == TOMLValue::Kind::Double;
    case Kind::Bool:
        return v.kind() == TOMLValue::Kind::Bool;
    case Kind::List: {
        const auto strings = v.stringArray();
        return strings && v == TOMLValue(TOMLValue::Array(strings->cbegin(), strings->cend()));
    }
    }
    return false;
}

QString wanted(Kind kind) {
    switch (kind) {
    case Kind::Text:
        return Language::translate("ConfigCheck", "muss ein Text in Anführungszeichen sein");
    case Kind::Number:
        return Language::translate("ConfigCheck", "muss eine Zahl sein");
    case Kind::Bool:
        return Language::translate("ConfigCheck", "muss true oder false sein");
    case Kind::List:
        return Language::translate("ConfigCheck", "muss eine Liste von Texten sein");
    }
    return {};
}

constexpr qsizetype kShownWarnings = 20;

struct Warning {
    int line;
    QString text;
};

Warning at(int line, const QString& text) {
    return {line, TOMLError::located(line, text)};
}

// Unknown keys and keys of the wrong type; `who` names the table or task.
void checkKeys(const TOMLTable& table, const QHash<QString, Kind>& known, const QString& who,
               QList<Warning>& out) {
    QStringList names = table.keys();
    names.sort();
    for (const QString& key : names) {
        const TOMLValue& v = table[key];
        const auto kind = known.constFind(key);
        if (kind == known.constEnd())
            out.append(
                at(v.line, Language::translate("ConfigCheck", "%1: unbekannter Schlüssel „%2“")
                               .arg(who, key)));
        else if (key == u"watch_volumes" && !v.stringArray()) // what holds the task
            out.append(at(v.line, who + QStringLiteral(": ") + AppConfig::volumesNotAList()));
        else if (!fits(v, *kind))
            // A list's texts are read even beside other values; anything else falls back.
            out.append(
                at(v.line,
                   QStringLiteral("%1: %2 %3, %4")
                       .arg(who, key, wanted(*kind),
                            v.stringArray()
                                ? Language::translate("ConfigCheck", "nur die Texte darin gelten")
                                : Language::translate("ConfigCheck", "es gilt der Standardwert"))));
    }
}

// Where `key` stands in the entry, or the entry's header when it is not there.
int lineOf(const TOMLTable& table, const char* key, int headerLine) {
    const auto it = table.constFind(QString::fromLatin1(key));
    return it == table.constEnd() ? headerLine : it->line;
}

// A weekly task whose day or time is never matched.
void checkWeekly(const TaskConfig& task, const TOMLTable& table, int headerLine, const QString& who,
                 QList<Warning>& out) {
    if (!task.weekday())
        out.append(at(lineOf(table, "day", headerLine),
                      Language::translate("ConfigCheck",
                                          "%1: day „%2“ ist kein Wochentag (monday … sunday): der "
                                          "Task wird nie fällig")
                          .arg(who, task.day)));
    const auto hm = task.hourMinute();
    if (!hm || hm->first < 0 || hm->first > 23 || hm->second < 0 || hm->second > 59)
        out.append(at(lineOf(table, "time", headerLine),
                      Language::translate("ConfigCheck",
                                          "%1: time „%2“ ist keine Uhrzeit (HH:MM): der Task wird "
                                          "nie fällig")
                          .arg(who, task.time)));
}

// A gio address never mounts a share at a folder of one's choosing: it
// appears below the gvfs root, and that folder is what to watch.
void checkGvfsFolders(const TaskConfig& task, const TOMLTable& table, int headerLine,
                      const QString& who, QList<Warning>& out) {
    const int line = lineOf(table, "watch_volumes", headerLine);
    for (const QString& volume : task.watchVolumes) {
        const QString address = task.mountURLFor(volume);
        const QString folder = Mounts::gvfsFolder(address);
        if (folder.isEmpty() || Mounts::withoutTrailingSlashes(volume) == folder) continue;
        out.append(at(line, Language::translate(
                                "ConfigCheck", "%1: gio mount hängt %2 nicht unter %3 ein, sondern "
                                               "unter %4")
                                .arg(who, address, volume, folder)));
    }
}

// on_battery and on_metered take "run" or "skip"; [general]'s charge is a percentage.
void checkConditions(const TOMLTable& table, const QString& who, QList<Warning>& out) {
    for (const char* key : {"on_battery", "on_metered"}) {
        const auto v = table.constFind(QString::fromLatin1(key));
        if (v != table.constEnd() && v->string() && *v->string() != u"run" &&
            *v->string() != u"skip")
            out.append(at(v->line, Language::translate(
                                       "ConfigCheck", "%1: %2 muss „run“ oder „skip“ sein, es gilt "
                                                      "„run“")
                                       .arg(who, QString::fromLatin1(key))));
    }
    const auto charge = table.constFind(QStringLiteral("min_battery_percent"));
    if (who == u"[general]" && charge != table.constEnd() && charge->doubleValue() &&
        !(*charge->doubleValue() >= 0 && *charge->doubleValue() <= 100))
        out.append(
            at(charge->line,
               Language::translate("ConfigCheck", "%1: min_battery_percent muss zwischen 0 und "
                                                  "100 liegen, es gilt keine Grenze")
                   .arg(who)));
}

void checkLanguage(const TOMLTable& general, QList<Warning>& out) {
    const auto v = general.constFind(QStringLiteral("language"));
    if (v != general.constEnd() && v->string() && !Language::fromWord(*v->string()))
        out.append(at(v->line, Language::translate("ConfigCheck",
                                                   "[general]: language „%1“ gibt es nicht (nur "
                                                   "%2), es gilt die Sprache der Umgebung")
                                   .arg(*v->string(), Language::available().join(u", "))));
}

// nice is a whole number 0–19, io_class "idle" or "best-effort".
void checkPriority(const TOMLTable& table, const QString& who, QList<Warning>& out) {
    if (const auto n = table.constFind(QStringLiteral("nice"));
        n != table.constEnd() && n->doubleValue() &&
        !(*n->doubleValue() == std::trunc(*n->doubleValue()) && *n->doubleValue() >= 0 &&
          *n->doubleValue() <= 19))
        out.append(
            at(n->line, Language::translate("ConfigCheck",
                                            "%1: nice muss eine ganze Zahl von 0 bis 19 sein, "
                                            "es gilt die Priorität des Programms")
                            .arg(who)));
    if (const auto io = table.constFind(QStringLiteral("io_class"));
        io != table.constEnd() && io->string() && *io->string() != u"idle" &&
        *io->string() != u"best-effort")
        out.append(at(io->line, Language::translate("ConfigCheck",
                                                    "%1: io_class muss „idle“ oder „best-effort“ "
                                                    "sein, es gilt die Klasse des Programms")
                                    .arg(who)));
}

} // namespace

QStringList AppConfig::check(const TOMLDocument& doc, const QList<TaskConfig>& read) {
    QList<Warning> out;
    QStringList tables = doc.tables.keys();
    tables.sort();
    for (const QString& name : tables) {
        const int line = doc.tableLines.value(name, 1);
        if (name == u"general") {
            checkKeys(doc.tables[name], generalKeys(), QStringLiteral("[general]"), out);
            checkConditions(doc.tables[name], QStringLiteral("[general]"), out);
            checkLanguage(doc.tables[name], out);
        } else if (name == u"task")
            out.append(
                at(line, Language::translate("ConfigCheck",
                                             "[task] ist eine einfache Tabelle: für einen Task "
                                             "[[task]] schreiben")));
        else if (name.isEmpty())
            for (const QString& key : doc.tables[name].keys())
                out.append(at(doc.tables[name][key].line,
                              Language::translate("ConfigCheck",
                                                  "„%1“ steht vor jeder Tabelle und gilt nicht")
                                  .arg(key)));
        else
            out.append(
                at(line, Language::translate("ConfigCheck", "unbekannte Tabelle [%1]").arg(name)));
    }
    for (auto it = doc.arrays.cbegin(); it != doc.arrays.cend(); ++it)
        if (it.key() != u"task")
            out.append(
                at(doc.arrayLines.value(it.key()).value(0, 1),
                   Language::translate("ConfigCheck", "unbekannte Tabelle [[%1]]").arg(it.key())));
    // Every entry was read into `read`, in order: loading stops at one that was not.
    const QList<TOMLTable> tasks = doc.arrays.value(QStringLiteral("task"));
    for (qsizetype i = 0; i < std::min(tasks.size(), read.size()); ++i) {
        const TaskConfig& task = read[i];
        const QString who = Language::translate("ConfigCheck", "Task „%1“").arg(task.name);
        const int header = doc.arrayLines.value(QStringLiteral("task")).value(i, 1);
        checkKeys(tasks[i], taskKeys(), who, out);
        checkConditions(tasks[i], who, out);
        if (const auto keep = tasks[i].constFind(QStringLiteral("max_logs"));
            keep != tasks[i].constEnd() && keep->intValue() && *keep->intValue() < 1)
            out.append(at(keep->line, Language::translate("ConfigCheck",
                                                          "%1: max_logs muss mindestens 1 sein, es "
                                                          "gilt 1")
                                          .arg(who)));
        if (const auto size = tasks[i].constFind(QStringLiteral("max_log_mb"));
            size != tasks[i].constEnd() && size->doubleValue() &&
            !(*size->doubleValue() >= 0 && *size->doubleValue() <= 1e9))
            out.append(at(size->line,
                          Language::translate("ConfigCheck", "%1: max_log_mb muss zwischen 0 und "
                                                             "1000000000 liegen, es gilt 256")
                              .arg(who)));
        checkPriority(tasks[i], who, out);
        if (task.type == TaskType::Weekly) checkWeekly(task, tasks[i], header, who, out);
        checkGvfsFolders(task, tasks[i], header, who, out);
    }
    // In the order of the file.
    std::stable_sort(out.begin(), out.end(),
                     [](const Warning& a, const Warning& b) { return a.line < b.line; });
    // Each is a banner: thousands of them would bury the panel (and stall it).
    QStringList texts;
    for (qsizetype i = 0; i < std::min<qsizetype>(out.size(), kShownWarnings); ++i)
        texts.append(out[i].text);
    if (out.size() > kShownWarnings)
        texts.append(Language::translate("ConfigCheck", "config.toml: %n weitere Hinweise", nullptr,
                                         out.size() - kShownWarnings));
    return texts;
}
