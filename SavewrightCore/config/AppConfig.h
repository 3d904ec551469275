#pragma once
// The configuration records of config.toml with every default filled in.

#include "Toml.h"

#include <QString>
#include <QStringList>

#include <optional>

enum class TaskType { Scheduled, OnMount, Weekly, External };

QString text(TaskType type);
std::optional<TaskType> taskTypeFromText(const QString& text);

struct TaskConfig {
    QString name;
    QString description;
    TaskType type = TaskType::Scheduled;
    QString script;
    std::optional<QString> group;
    qint64 maxLogs = 30;
    // A run's log keeps its first and latest output up to this size; 0: all of it.
    double maxLogMb = 256.0;
    double intervalMinutes = 30.0;
    double intervalHours = 24.0;
    double warnHours = 24.0;
    double redHours = 72.0;
    QStringList watchVolumes;
    QString mountURL;
    QStringList mountURLs;
    bool requireAllVolumes = false;
    QString day = QStringLiteral("sunday");
    QString time = QStringLiteral("03:00");
    // A weekly task whose window was missed (machine off or asleep) is due
    // once at the next chance after it.
    bool catchUp = false;
    // Notifications about this task; reminders while it stays overdue; a run
    // longer than this many minutes is announced as hanging.
    bool notify = true;
    double remindHours = 24.0;
    std::optional<double> maxRunMinutes;
    // A push-check address told when a run starts, succeeds or fails.
    QString pingURL;
    // Whether automatic starts wait while on battery / on a metered network;
    // unset: as [general] says.
    std::optional<bool> skipOnBattery;
    std::optional<bool> skipOnMetered;
    // Out of the person's way: the script and all it starts at this niceness
    // (0–19) and, with `ioIdle`, in the idle I/O class; unset: as the program.
    std::optional<int> nice;
    std::optional<bool> ioIdle;
    // Why the task must not start until config.toml is fixed (a mistake that
    // would turn it into a different, dangerous task).
    std::optional<QString> hold;

    TaskConfig() = default;
    TaskConfig(QString name_, TaskType type_, QString script_)
        : name(std::move(name_)), type(type_), script(std::move(script_)) {}

    // The name with every space replaced by "_"; ties a task to its log files.
    QString safeName() const;
    // The address to mount one watched volume from; empty when there is none.
    QString mountURLFor(const QString& volume) const;
    // Weekly tasks: `day` as 1 (sunday) … 7, and `time` as hour and minute.
    std::optional<int> weekday() const;
    std::optional<std::pair<qint64, qint64>> hourMinute() const;

    friend bool operator==(const TaskConfig&, const TaskConfig&) = default;
};

struct AppConfig {
    QList<TaskConfig> tasks;
    double pollIntervalSeconds = 30.0;
    double mountRetryMinutes = 30.0;
    QString updateURL;
    bool notify = true; // any notification about runs at all
    // Defaults for every task: automatic starts wait on battery, on a metered
    // network, on battery below this charge.
    bool skipOnBattery = false;
    bool skipOnMetered = false;
    std::optional<double> minBatteryPercent;
    // Written after each refresh that changed something, for a textfile collector.
    QString metricsFile;
    // The script repository when --repo is not given (read by Paths).
    QString repo;
    // "de" or "en"; empty: as the environment's locale says.
    QString language;
    // Mistakes that do not block loading, each naming its line, task and key.
    QStringList warnings;

    // Throws TOMLError (syntax: its line; validation: line 0).
    static AppConfig parse(const QString& text);
    static AppConfig fromDocument(const TOMLDocument& doc);
    // Throws ConfigError when the file cannot be read or is not UTF-8, else as parse.
    static AppConfig load(const QString& path);
    // The warnings of a document and the tasks read from it: keys of the wrong
    // type, unknown keys and tables, weekly days and times that are never due,
    // watched folders a gio address never mounts at (ConfigCheck.cpp).
    static QStringList check(const TOMLDocument& doc, const QList<TaskConfig>& tasks);
    static QString crLfWarning();
    static QString volumesNotAList();

    friend bool operator==(const AppConfig&, const AppConfig&) = default;
};
