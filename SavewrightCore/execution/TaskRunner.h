#pragma once
// Carries out one start of one task: runs its script through /bin/bash with the
// sleep guard, streams the output into the run's log file, reports progress and
// returns the result. Stopping a run stops its whole process tree.
//
// Memory stays bounded however much a script prints: the log receives every
// byte, the statistics are collected as the output streams by, and
// Result::output holds the last 256 KiB characters of the output only.

#include "config/AppConfig.h"
#include "config/Paths.h"
#include "platform/PosixFile.h"
#include "records/LogStore.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/types.h>

class TaskRunner : public std::enable_shared_from_this<TaskRunner> {
  public:
    struct Result {
        bool success = false;
        QString output;
        std::optional<QString> error;
        // Why the run's log could not be created or finished, when it could not.
        std::optional<QString> logError;
        // Stopped on request, before or after the script started: no failure.
        bool cancelled = false;
        // Not started: another copy, or a script of an earlier run, runs this
        // task now (no log, no failure).
        bool heldElsewhere = false;
        // The run's log, when it has one.
        std::optional<QString> logFile;
    };
    // Every process of a run carries the task's safe name in this variable, so
    // that processes an earlier run left behind are found wherever they went.
    static constexpr const char* kTaskMarker = "SAVEWRIGHT_TASK";
    // Held by a run of the task while it lasts, whichever copy started it.
    static QString lockFile(const Paths& paths, const QString& safeName);
    // ... and the log folder it writes to: the same task name in another
    // repository (another copy, a test) is another task.
    static constexpr const char* kLogsMarker = "SAVEWRIGHT_LOGS";
    static bool earlierRunAlive(const QString& safeName, const QString& logsFolder);
    // The steady clock in milliseconds: deadlines of stops, and the engine's sleep check.
    static qint64 steadyMs();
    // How often at most a run's progress reaches the views: more is not seen,
    // and a flood of percentages would keep the main thread busy.
    static constexpr int kProgressGapMs = 100;
    // Why a run was stopped, as its log says it in every language.
    static constexpr const char* kStoppedByHand =
        QT_TRANSLATE_NOOP("TaskRunner", "von Hand gestoppt");
    static constexpr const char* kStoppedAtQuit =
        QT_TRANSLATE_NOOP("TaskRunner", "Savewright beendet (Neustart oder Ausschalten)");
    // A run's error in the person's language; the log keeps it as the runner wrote it.
    static QString shown(const QString& error);
    using ProgressSink = std::function<void(int)>;

    // `clock` stamps the log's finish; it is called on the run's thread.
    using WallClock = std::function<Clock::time_point()>;
    TaskRunner(TaskConfig task, Paths paths, bool dryRun, ProgressSink onProgress,
               WallClock clock = Clock::now);

    // Blocks until the script has ended and the log is complete; never throws.
    Result run(Clock::time_point start);
    // Any thread, any time, more than once: SIGTERM to the script, its process
    // group and descendants, SIGKILL after 5 s to whatever still lives.
    void cancel(bool wait, const QString& reason);
    static QList<pid_t> descendants(pid_t pid);
    // Whether run() has returned.
    bool done() const { return done_; }
    // Stopped before its script was launched, which now never happens: what is
    // left (a log folder that does not answer, say) need not be waited for long.
    bool stoppedBeforeScript();

    const TaskConfig task;
    const Paths paths;
    const LogStore logs;
    const bool dryRun;

  private:
    struct Failure {
        QString message;
    };
    bool signalGroup(pid_t script, int signal);
    Result fail(const QString& message, LogStore::Opened& log, Clock::time_point start);
    // A run stopped before its script started: the abort marker, as for any stop.
    Result stopped(const QString& reason, LogStore::Opened& log);
    static QByteArray abortMarker(const QString& reason);
    static Result notRun(const QString& why);
    void pump(int readFd, pid_t script, class OutputPump& output);
    bool stopReading(pid_t script) const;
    // "SAVEWRIGHT_RUN=<id>": the environment entry of this run's processes.
    QByteArray marker() const;
    // For a dry run, `text` receives the rewritten script for descriptor 3.
    QList<QByteArray> scriptArguments(const QString& scriptPath, PosixFile::UniqueFd& text) const;

    Result runToEnd(Clock::time_point start);

    ProgressSink onProgress_;
    WallClock clock_;
    std::atomic<bool> done_{false};
    const QByteArray runId_;
    std::atomic<qint64> cancelledAtMs_{0}; // steady clock, 0 until a cancel
    std::mutex lock_;
    pid_t process_ = 0; // launched and not reaped yet
    bool exited_ = false;
    bool launched_ = false;
    bool cancelled_ = false;
    QString cancelReason_ = QString::fromUtf8(kStoppedByHand);
};
