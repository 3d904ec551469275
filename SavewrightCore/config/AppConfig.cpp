#include "AppConfig.h"

#include "base/Language.h"
#include "base/Text.h"
#include "platform/PosixFile.h"

#include <QDir>
#include <QStringDecoder>

#include <algorithm>
#include <cmath>

QString text(TaskType type) {
    switch (type) {
    case TaskType::Scheduled:
        return QStringLiteral("scheduled");
    case TaskType::OnMount:
        return QStringLiteral("on_mount");
    case TaskType::Weekly:
        return QStringLiteral("weekly");
    case TaskType::External:
        return QStringLiteral("external");
    }
    return {};
}

std::optional<TaskType> taskTypeFromText(const QString& t) {
    for (TaskType type :
         {TaskType::Scheduled, TaskType::OnMount, TaskType::Weekly, TaskType::External})
        if (text(type) == t) return type;
    return std::nullopt;
}

QString TaskConfig::safeName() const {
    QString s = name;
    return s.replace(u' ', u'_');
}

QString TaskConfig::mountURLFor(const QString& volume) const {
    if (mountURLs.isEmpty()) return mountURL;
    const qsizetype i = watchVolumes.indexOf(volume);
    if (i < 0 || i >= mountURLs.size()) return {};
    return mountURLs[i];
}

std::optional<int> TaskConfig::weekday() const {
    static const char* names[] = {"sunday",   "monday", "tuesday", "wednesday",
                                  "thursday", "friday", "saturday"};
    const QString lower = day.toLower();
    for (int i = 0; i < 7; ++i)
        if (lower == QLatin1StringView(names[i])) return i + 1;
    return std::nullopt;
}

// "HH:MM" split at every ":", empty pieces dropped, non-integers dropped.
std::optional<std::pair<qint64, qint64>> TaskConfig::hourMinute() const {
    QList<qint64> numbers;
    for (QStringView piece : QStringView(time).split(u':', Qt::SkipEmptyParts))
        if (const auto v = Text::parseInteger(piece)) numbers.append(*v);
    if (numbers.size() != 2) return std::nullopt;
    return std::pair{numbers[0], numbers[1]};
}

QString AppConfig::volumesNotAList() {
    return Language::translate("AppConfig",
                               "watch_volumes muss eine Liste sein, z. B. [\"/mnt/nas\"]: der Task "
                               "startet nicht, bis das behoben ist");
}

QString AppConfig::crLfWarning() {
    return Language::translate("AppConfig", "Zeilenende CR LF: bitte als LF speichern");
}

namespace {

// "~" or "~/…" below HOME; any other path as it stands.
QString expandHome(const QString& path) {
    if (path == u"~") return QDir::homePath();
    if (path.startsWith(u"~/")) return QDir::homePath() + path.mid(1);
    return path;
}

constexpr qsizetype kLongestNameAndScript = 422;
constexpr double kWeeklyWarnHours = 170.0;
constexpr double kWeeklyRedHours = 338.0;

template <typename T, typename Get>
void readKey(const TOMLTable& table, const char16_t* key, T& field, Get get) {
    auto it = table.constFind(QString::fromUtf16(key));
    if (it == table.constEnd()) return;
    if (auto v = get(*it)) field = static_cast<T>(*v);
}

void readDouble(const TOMLTable& t, const char16_t* key, double& field) {
    readKey(t, key, field, [](const TOMLValue& v) { return v.doubleValue(); });
}

// "run" or "skip"; anything else leaves the field as it is (ConfigCheck warns).
template <typename Field>
void readRunOrSkip(const TOMLTable& t, const char16_t* key, Field& field) {
    const auto v = t.constFind(QString::fromUtf16(key));
    if (v == t.constEnd() || !v->string()) return;
    if (*v->string() == u"run") field = false;
    if (*v->string() == u"skip") field = true;
}

void readBool(const TOMLTable& t, const char16_t* key, bool& field) {
    readKey(t, key, field, [](const TOMLValue& v) { return v.boolValue(); });
}

void readString(const TOMLTable& t, const char16_t* key, QString& field) {
    readKey(t, key, field, [](const TOMLValue& v) { return v.string(); });
}

void readList(const TOMLTable& t, const char16_t* key, QStringList& field) {
    readKey(t, key, field, [](const TOMLValue& v) { return v.stringArray(); });
}

std::optional<QString> requiredString(const TOMLTable& t, const char* key) {
    auto it = t.constFind(QString::fromLatin1(key));
    return it == t.constEnd() ? std::nullopt : it->string();
}

// The name becomes part of a file name and, with the script, of the log's
// header, whose status line a reader finds only within its first 500 bytes.
void refuseUnusableNames(const QString& name, const QString& script) {
    const auto breaks = [](const QString& s) {
        return s.contains(u'\0') || s.contains(u'\n') || s.contains(u'\r');
    };
    // An empty script would run "bash Scripts/", an empty name log as "_".
    if (name.trimmed().isEmpty() || script.trimmed().isEmpty())
        throw TOMLError(
            0, Language::translate("AppConfig", "Task „%1“: name und script dürfen nicht leer sein")
                   .arg(name));
    // Only the repository's own scripts run: none from outside Scripts/.
    if (script.startsWith(u'/') || script.split(u'/').contains(QStringLiteral("..")))
        throw TOMLError(0, Language::translate(
                               "AppConfig", "Task „%1“: script „%2“ liegt nicht im Ordner Scripts")
                               .arg(name, script));
    if (breaks(name) || name.contains(u'/'))
        throw TOMLError(
            0, Language::translate("AppConfig",
                                   "Task „%1“: name darf kein „/“, keinen Zeilenumbruch und "
                                   "kein Nullzeichen enthalten")
                   .arg(name));
    if (breaks(script))
        throw TOMLError(0, Language::translate(
                               "AppConfig",
                               "Task „%1“: script darf keinen Zeilenumbruch und kein Nullzeichen "
                               "enthalten")
                               .arg(name));
    if (name.toUtf8().size() + script.toUtf8().size() > kLongestNameAndScript)
        throw TOMLError(
            0, Language::translate("AppConfig",
                                   "Task „%1“: name und script zusammen länger als %2 Bytes")
                   .arg(name)
                   .arg(kLongestNameAndScript));
}

TaskConfig readTask(const TOMLTable& t, qsizetype number) {
    auto name = requiredString(t, "name");
    auto script = name ? requiredString(t, "script") : std::nullopt;
    auto typeText = script ? requiredString(t, "type") : std::nullopt;
    if (!typeText)
        throw TOMLError(
            0, Language::translate("AppConfig", "Task %1: name, type und script sind Pflicht")
                   .arg(number));
    auto type = taskTypeFromText(*typeText);
    if (!type)
        throw TOMLError(0, Language::translate("AppConfig", "Task „%1“: unbekannter type „%2“")
                               .arg(*name, *typeText));

    refuseUnusableNames(*name, *script);
    TaskConfig task(*name, *type, *script);
    readString(t, u"description", task.description);
    QString group;
    readString(t, u"group", group);
    if (std::any_of(group.cbegin(), group.cend(), [](QChar c) { return c != u' ' && c != u'\t'; }))
        task.group = group;
    readKey(t, u"max_logs", task.maxLogs, [](const TOMLValue& v) { return v.intValue(); });
    // At least the log of the run that just ended stays.
    task.maxLogs = std::max<qint64>(task.maxLogs, 1);
    readDouble(t, u"max_log_mb", task.maxLogMb);
    if (!(task.maxLogMb >= 0) || task.maxLogMb > 1e9) task.maxLogMb = TaskConfig().maxLogMb;
    readDouble(t, u"interval_minutes", task.intervalMinutes);
    readDouble(t, u"interval_hours", task.intervalHours);
    readDouble(t, u"warn_hours", task.warnHours);
    readDouble(t, u"red_hours", task.redHours);
    readList(t, u"watch_volumes", task.watchVolumes);
    readString(t, u"mount_url", task.mountURL);
    readList(t, u"mount_urls", task.mountURLs);
    readBool(t, u"require_all_volumes", task.requireAllVolumes);
    readString(t, u"day", task.day);
    readString(t, u"time", task.time);
    if (task.type == TaskType::Weekly) {
        // The daily defaults would make a healthy weekly task red four days a week:
        // one and two weeks plus the window, unless set.
        if (!t.contains(QStringLiteral("warn_hours"))) task.warnHours = kWeeklyWarnHours;
        if (!t.contains(QStringLiteral("red_hours"))) task.redHours = kWeeklyRedHours;
    }
    readBool(t, u"catch_up", task.catchUp);
    readBool(t, u"notify", task.notify);
    readRunOrSkip(t, u"on_battery", task.skipOnBattery);
    readRunOrSkip(t, u"on_metered", task.skipOnMetered);
    readKey(t, u"nice", task.nice, [](const TOMLValue& v) -> std::optional<int> {
        const auto n = v.doubleValue();
        if (!n || *n != std::trunc(*n) || *n < 0 || *n > 19) return std::nullopt;
        return static_cast<int>(*n);
    });
    readKey(t, u"io_class", task.ioIdle, [](const TOMLValue& v) -> std::optional<bool> {
        const auto text = v.string();
        if (text == u"idle") return true;
        if (text == u"best-effort") return false;
        return std::nullopt;
    });
    readDouble(t, u"remind_hours", task.remindHours);
    readKey(t, u"max_run_minutes", task.maxRunMinutes,
            [](const TOMLValue& v) { return v.doubleValue(); });
    readString(t, u"ping_url", task.pingURL);
    if (const auto v = t.constFind(QStringLiteral("watch_volumes"));
        v != t.constEnd() && !v->stringArray())
        task.hold = AppConfig::volumesNotAList();
    if (!task.pingURL.isEmpty() && !task.pingURL.startsWith(u"http://") &&
        !task.pingURL.startsWith(u"https://"))
        throw TOMLError(
            0, Language::translate("AppConfig",
                                   "Task „%1“: ping_url muss mit http:// oder https:// beginnen")
                   .arg(task.name));
    return task;
}

} // namespace

AppConfig AppConfig::fromDocument(const TOMLDocument& doc) {
    AppConfig config;
    if (auto general = doc.tables.constFind(QStringLiteral("general"));
        general != doc.tables.constEnd()) {
        readDouble(*general, u"poll_interval_seconds", config.pollIntervalSeconds);
        readDouble(*general, u"mount_retry_minutes", config.mountRetryMinutes);
        readString(*general, u"update_url", config.updateURL);
        readBool(*general, u"notify", config.notify);
        readRunOrSkip(*general, u"on_battery", config.skipOnBattery);
        readRunOrSkip(*general, u"on_metered", config.skipOnMetered);
        readKey(*general, u"min_battery_percent", config.minBatteryPercent,
                [](const TOMLValue& v) { return v.doubleValue(); });
        if (config.minBatteryPercent &&
            !(*config.minBatteryPercent >= 0 && *config.minBatteryPercent <= 100))
            config.minBatteryPercent.reset();
        readString(*general, u"metrics_file", config.metricsFile);
        readString(*general, u"repo", config.repo);
        readString(*general, u"language", config.language);
        if (!config.repo.isEmpty()) config.repo = expandHome(config.repo);
        if (!config.metricsFile.isEmpty()) config.metricsFile = expandHome(config.metricsFile);
    }
    const QList<TOMLTable> entries = doc.arrays.value(QStringLiteral("task"));
    for (qsizetype i = 0; i < entries.size(); ++i)
        config.tasks.append(readTask(entries[i], i + 1));
    config.warnings = check(doc, config.tasks);
    return config;
}

AppConfig AppConfig::parse(const QString& text) {
    return fromDocument(TOML::parse(text));
}

AppConfig AppConfig::load(const QString& path) {
    const PosixFile::ReadResult file = PosixFile::readAll(path);
    if (!file.ok())
        throw ConfigError(Language::translate("AppConfig", "„%1“ nicht lesbar: %2")
                              .arg(path, PosixFile::reason(file.error)));
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(file.data);
    if (decoder.hasError())
        throw ConfigError(
            Language::translate("AppConfig", "„%1“ ist kein gültiger UTF-8-Text").arg(path));
    // Saved by a Windows editor: the lines' CRs break the syntax; say why.
    const QString lineEnds = text.contains(QStringLiteral("\r\n"))
                                 ? QStringLiteral("config.toml: ") + crLfWarning()
                                 : QString();
    try {
        AppConfig config = parse(text);
        if (!lineEnds.isEmpty()) config.warnings.prepend(lineEnds);
        return config;
    } catch (ConfigError& e) {
        if (!lineEnds.isEmpty()) e.alsoFound.append(lineEnds);
        throw;
    }
}
