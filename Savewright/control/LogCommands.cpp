#include "LogCommands.h"

#include "base/Language.h"
#include "base/Text.h"
#include "config/AppConfig.h"
#include "control/CommandLineTool.h"
#include "execution/TaskRunner.h"
#include "platform/PosixFile.h"
#include "records/RunHistory.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>
#include <thread>

using namespace Qt::StringLiterals;

namespace LogCommands {

namespace {

constexpr auto kFollowEvery = std::chrono::milliseconds(250);
constexpr qint64 kChunk = 1 << 20;

using CommandLineTool::print;

// The task's configuration, or the reason there is none, said on standard error.
std::optional<TaskConfig> find(const Paths& paths, const QString& name) {
    const auto configured = CommandLineTool::configuredTasks(paths);
    if (!configured) return std::nullopt;
    for (const TaskConfig& t : *configured)
        if (t.name == name) return t;
    print(stderr, Language::translate("LogCommands", "Kein Task „%1“ in %2.\n")
                      .arg(name, paths.configFile()));
    return std::nullopt;
}

bool runsNow(const Paths& paths, const TaskConfig& task) {
    return task.type == TaskType::External ||
           PosixFile::lockHeld(TaskRunner::lockFile(paths, task.safeName()));
}

QString table(const QList<RunRecord>& runs, const QDateTime& now) {
    QList<QStringList> rows{RunHistory::columnTitles()};
    for (const RunRecord& r : runs) {
        const auto seconds = r.outcome == RunOutcome::Running
                                 ? std::optional(r.start.msecsTo(now) / 1000.0)
                                 : r.seconds;
        rows.append(
            {r.start.toLocalTime().toString(Language::translate("LogCommands", "dd.MM.yyyy HH:mm")),
             RunHistory::durationText(seconds), RunHistory::outcomeText(r.outcome),
             r.transferred.value_or(QString()), r.files ? QString::number(*r.files) : QString(),
             r.failureLine.value_or(QString())});
    }
    return Text::alignedTable(rows);
}

// Copies the file from `offset` on to standard output; the new offset.
qint64 copyFrom(const QString& file, qint64 offset) {
    for (;;) {
        const PosixFile::ReadResult r = PosixFile::readRange(file, offset, kChunk);
        if (!r.ok() || r.data.isEmpty()) return offset;
        std::fwrite(r.data.constData(), 1, static_cast<size_t>(r.data.size()), stdout);
        offset += r.data.size();
        if (r.data.size() < kChunk) break;
    }
    std::fflush(stdout);
    return offset;
}

int exitCode(RunOutcome outcome) {
    switch (outcome) {
    case RunOutcome::Success:
        return 0;
    case RunOutcome::Failed:
        return 1;
    default:
        return 2;
    }
}

} // namespace

int history(const QStringList& arguments, const Paths& paths, const QString& name) {
    const auto task = find(paths, name);
    if (!task) return kNoSuchLog;
    const qsizetype limit = CommandLine::value(arguments, u"--limit"_s).value_or(u"-1"_s).toInt();
    const QList<RunRecord> runs =
        RunHistory::read(LogStore(paths.logs()), task->safeName(), runsNow(paths, *task), limit);
    if (arguments.contains(u"--json"_s)) {
        QJsonArray list;
        for (const RunRecord& r : runs)
            list.append(RunHistory::toJson(r));
        const QJsonObject report{{u"task"_s, task->name}, {u"runs"_s, list}};
        print(stdout, QString::fromUtf8(QJsonDocument(report).toJson(QJsonDocument::Indented)));
    } else {
        print(stdout, table(runs, QDateTime::currentDateTimeUtc()));
    }
    return 0;
}

int log(const QStringList& arguments, const Paths& paths, const QString& name) {
    const auto task = find(paths, name);
    if (!task) return kNoSuchLog;
    const LogStore logs(paths.logs());
    const QList<DatedRun> runs = logs.runs(task->safeName());
    if (runs.isEmpty()) {
        print(stderr, Language::translate("LogCommands", "Noch kein Log für „%1“.\n").arg(name));
        return kNoSuchLog;
    }
    const QString file = logs.directory + u'/' + runs.first().name;
    qint64 offset = copyFrom(file, 0);
    if (!arguments.contains(u"--follow"_s)) return 0;
    for (;;) {
        // Read before looking at the header: a run that ended since has all
        // its lines in the file, and the rest is printed below.
        const bool running = runsNow(paths, *task);
        const RunRecord now = RunHistory::readOne(file, runs.first(), running);
        if (const auto size = PosixFile::stamp(file); size && size->size < offset)
            offset = size->size; // the log was shortened to its limit
        offset = copyFrom(file, offset);
        if (now.outcome != RunOutcome::Running) return exitCode(now.outcome);
        std::this_thread::sleep_for(kFollowEvery);
    }
}

} // namespace LogCommands
