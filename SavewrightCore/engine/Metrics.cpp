// The metrics file: its text, and the engine writing it when something changed.
#include "Metrics.h"

#include "Engine.h"
#include "base/Language.h"
#include "platform/Console.h"
#include "platform/PosixFile.h"

namespace Metrics {

namespace {

const TaskStatus kStatuses[] = {TaskStatus::Running, TaskStatus::Error,  TaskStatus::Red,
                                TaskStatus::Never,   TaskStatus::Yellow, TaskStatus::Green};

struct Family {
    const char* name;
    const char* help;
};

void head(QByteArray& out, const Family& f) {
    out += QByteArray("# HELP ") + f.name + ' ' + f.help + "\n# TYPE " + f.name + " gauge\n";
}

QByteArray sample(const char* family, const QString& labels, double value) {
    return QByteArray(family) + '{' + labels.toUtf8() + "} " + QByteArray::number(value, 'g', 15) +
           '\n';
}

} // namespace

QString problem() {
    return Language::translate("Metrics", "metrics_file nicht schreibbar: ");
}

QString labelValue(const QString& value) {
    QString v = value;
    v.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
    return v.replace(u'\n', QStringLiteral("\\n"));
}

QByteArray text(const QList<std::shared_ptr<TaskState>>& tasks, const QDateTime& now,
                const QHash<QString, double>& lastRunSeconds) {
    const auto task = [](const TaskState& t) {
        return QStringLiteral("task=\"%1\"").arg(labelValue(t.id));
    };
    QByteArray out;
    const Family success{"savewright_last_success_timestamp_seconds",
                         "Time of the task's last successful run."};
    head(out, success);
    for (const auto& t : tasks)
        if (const auto last = t->lastRun())
            out +=
                sample(success.name,
                       task(*t) + QStringLiteral(",group=\"%1\"")
                                      .arg(labelValue(t->config.value().group.value_or(QString()))),
                       static_cast<double>(last->toSecsSinceEpoch()));
    const Family status{"savewright_status",
                        "The task's status (running, error, red, never, yellow, green): 1 for "
                        "the current one."};
    head(out, status);
    for (const auto& t : tasks) {
        const TaskStatus current = t->status(now);
        for (TaskStatus s : kStatuses)
            out += sample(status.name, task(*t) + QStringLiteral(",status=\"%1\"").arg(text(s)),
                          s == current ? 1 : 0);
    }
    const Family running{"savewright_running", "1 while a run of the task is under way."};
    head(out, running);
    for (const auto& t : tasks)
        out += sample(running.name, task(*t), t->isRunning() ? 1 : 0);
    const Family duration{"savewright_last_run_duration_seconds",
                          "How long the task's last finished run took."};
    head(out, duration);
    for (const auto& t : tasks)
        if (const auto it = lastRunSeconds.constFind(t->id); it != lastRunSeconds.constEnd())
            out += sample(duration.name, task(*t), *it);
    return out;
}

} // namespace Metrics

void Engine::writeMetrics() {
    const QString file = config.value().metricsFile;
    // Only a started copy: a one-off look (the status command, a snapshot) leaves the file alone.
    if (file.isEmpty()) replaceProblem(Metrics::problem(), std::nullopt);
    if (file.isEmpty() || !started) return;
    QHash<QString, double> seconds;
    QHash<QString, QPair<QString, std::optional<double>>> kept; // dropped tasks are forgotten
    for (const auto& t : tasks.value()) {
        const LogSummary& s = t->summary.value();
        auto known = lastRunSeconds_.value(t->id);
        // A finished file's duration never changes; a run under way keeps the one before.
        if (s.latestFile && s.latestStatus != LogStatus::Running && known.first != *s.latestFile)
            known = {*s.latestFile, LogStore::runSeconds(*s.latestFile)};
        if (known.second) seconds.insert(t->id, *known.second);
        kept.insert(t->id, known);
    }
    lastRunSeconds_ = kept;
    const QByteArray text = Metrics::text(tasks.value(), now.value(), seconds);
    if (file == writtenMetrics_.first && text == writtenMetrics_.second) return;
    const int error = PosixFile::replace(file, text);
    if (error) {
        writtenMetrics_ = {};
        const QString line =
            Metrics::problem() + QStringLiteral("%1: %2").arg(file, PosixFile::reason(error));
        if (line != metricsError_) Console::say(line);
        metricsError_ = line;
        replaceProblem(Metrics::problem(), line);
        return;
    }
    writtenMetrics_ = {file, text};
    metricsError_.clear();
    replaceProblem(Metrics::problem(), std::nullopt);
}
