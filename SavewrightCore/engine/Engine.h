#pragma once
// The one controller: configuration, one TaskState per task, problems and the
// timers that refresh logs, mount volumes and start due tasks. Main thread only;
// every observable field notifies only when its value changes.

#include "Alert.h"
#include "DeletionEvent.h"
#include "LogReader.h"
#include "config/AppConfig.h"
#include "config/Paths.h"
#include "execution/TaskRunner.h"
#include "platform/PosixFile.h"
#include "records/LogStore.h"
#include "records/TaskState.h"
#include "update/Ping.h"
#include "update/UpdateChecker.h"

#include "platform/Detached.h"
#include "platform/FolderWatch.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QProperty>
#include <QSet>
#include <QSettings>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class Engine : public QObject {
    Q_OBJECT
  public:
    using TaskList = QList<std::shared_ptr<TaskState>>;
    // An answer that may come from any thread, exactly once.
    using Answer = std::function<void(bool)>;
    using AsyncCheck = std::function<void(const QString&, Answer)>;
    struct MountTarget {
        QString volume;
        QString url;
        friend bool operator==(const MountTarget&, const MountTarget&) = default;
    };

    // `seenStore` remembers what was announced; by default the user's settings.
    // `clock`, when given, is the engine's clock from its first moment (see `clock`).
    Engine(Paths paths, bool observeOnly, QStringList extraProblems = {},
           std::unique_ptr<QSettings> seenStore = nullptr,
           std::function<Clock::time_point()> clock = {}, QObject* parent = nullptr);
    ~Engine() override;

    const Paths paths;
    const bool observeOnly;

    // What the engine knows, for everyone to read; only the engine changes it.
    const QProperty<TaskList>& tasks = tasks_;
    const QProperty<bool>& paused = paused_;
    const QProperty<bool>& shuttingDown = shuttingDown_;
    const QProperty<QStringList>& problems = problems_;
    const QProperty<QDateTime>& now = now_;
    const QProperty<AppConfig>& config = config_;
    const QProperty<QDateTime>& lastRefresh = lastRefresh_;
    const QProperty<std::optional<qint64>>& configMTime = configMTime_;
    const QProperty<QHash<QString, QDateTime>>& lastMountAttempt = lastMountAttempt_;
    // The last answers about the watched volumes (as written in config.toml);
    // every decision goes by these, never by a look at a volume on this thread.
    const QProperty<QHash<QString, bool>>& volumePresence = volumePresence_;
    const QProperty<QSet<QString>>& mountInFlight = mountInFlight_;
    const QProperty<bool>& started = started_;
    const QProperty<std::optional<QString>>& latestDeletionReport = latestDeletionReport_;
    const QProperty<bool>& deletionReportUnseen = deletionReportUnseen_;
    const QProperty<std::optional<UpdateInfo>>& availableUpdate = availableUpdate_;
    // The journal's modification time (ns) and size at the last check.
    std::optional<std::pair<std::optional<qint64>, qint64>> eventsStamp;
    std::unique_ptr<QSettings> seenStore;
    QString currentVersion;

    std::function<void(const DeletionEvent&)> onNewDeletionEvent;
    // A new event found before the callback was wired (at creation): announced by start().
    std::optional<DeletionEvent> unannouncedDeletionEvent;
    std::function<void(const UpdateInfo&)> onUpdateAvailable;
    // What needs the person: posted by the working copy once started.
    std::function<void(const Alert&)> onAlert;
    // A dry run ended: its output (bounded) and its error, if any.
    std::function<void(const QString& task, const QString& output,
                       const std::optional<QString>& error)>
        onDryRunFinished;

    // Every observable field, for the views' one watcher; `clock` is true for
    // the fields that move with the clock alone (`now`, `lastRefresh`).
    template <typename Visit> void forEachObservable(Visit&& visit) {
        visit(tasks_, false), visit(paused_, false), visit(shuttingDown_, false);
        visit(problems_, false), visit(now_, true), visit(config_, false);
        visit(lastRefresh_, true), visit(configMTime_, false), visit(lastMountAttempt_, false);
        visit(mountInFlight_, false), visit(started_, false), visit(latestDeletionReport_, false);
        visit(deletionReportUnseen_, false), visit(availableUpdate_, false);
        visit(volumePresence_, false);
    }

    // Doors to the outside, replaceable in tests.
    // The one wall clock of the engine and its runs, with microseconds (the
    // log format keeps them); runs call it on their own threads.
    std::function<Clock::time_point()> clock;
    QDateTime currentTime() const { return LogTime::toDateTime(clock()); }
    // A clock that stands still while the machine sleeps (milliseconds): the wall
    // clock moving far ahead of it between two ticks is a wake-up.
    std::function<qint64()> steadyMs;
    AsyncCheck isReachable;
    AsyncCheck volumeResponds;
    std::function<void(const MountTarget&)> mountVolume;
    // Whether a watched volume is present (mounted); may answer from any thread.
    AsyncCheck volumePresent;
    std::function<void(const QString&, UpdateChecker::Delivery)> fetchUpdate;
    // Carries a task's run out away from the main thread: `run` does it,
    // blocking, and `end` takes its result on the main thread. False when it
    // cannot start. Tests keep both and end runs by hand.
    using RunWork = std::function<TaskRunner::Result()>;
    using RunEnd = std::function<void(const TaskRunner::Result&)>;
    std::function<bool(const QString& task, RunWork run, RunEnd end)> startRun =
        &Engine::runOnThread;
    static bool runOnThread(const QString& task, RunWork run, RunEnd end);
    // Posts a push check (address, body); must return at once.
    std::function<void(const QString&, const QByteArray&)> sendPing;

    // Sleep and wake-up (Resume.cpp). For a while after the machine woke (until
    // networkReady(), at most `settleAtMost`) nothing starts by itself and no
    // failure or overdue notice goes out; then each due task starts once. A
    // run that slept with the machine and fails meanwhile is no failure streak.
    void machineResumed(std::chrono::milliseconds settleAtMost);
    void networkReady();
    bool settling() const { return settleUntil_.has_value(); }
    // What the system says of power and network; unknown counts as no reason to wait.
    void setOnBattery(bool onBattery);
    void setBatteryPercent(double percent);
    void setMetered(bool metered);
    // Why automatic starts of the task wait now ("Akkubetrieb", …), due or not.
    std::optional<Hold> holdFor(const TaskState& task) const;
    // One task's own pause of its automatic starts, remembered across restarts;
    // `until` absent: until resumed. A start by hand still goes.
    void pauseTask(const QString& name, const std::optional<QDateTime>& until);
    void resumeTask(const QString& name);
    // When a task's pause ends (invalid: when resumed), while it lasts.
    std::optional<QDateTime> taskPausedUntil(const QString& name) const;
    // When the task starts by itself next, as far as its schedule, a back-off
    // after failures and its own pause tell (the machine's conditions cannot).
    Schedule::NextDue nextRun(const TaskState& task) const;
    // When "bis morgen" ends: tomorrow at six in the morning, local time.
    static QDateTime tomorrowMorning(const QDateTime& now);

    // Holds back or lets go every automatic start; let go, what is due starts at once.
    void setPaused(bool on);
    // Puts the problem that begins with `prefix` in place, or takes it away.
    void replaceProblem(const QString& prefix, const std::optional<QString>& text);

    // Lifecycle (Engine.cpp)
    void start();
    void schedulePoll();
    void tick();
    void poll();
    // Whether the poll timer runs: only for what the kernel cannot tell (watched
    // volumes, a log folder on a network file system or one not watched).
    bool pollNeeded() const;
    // A view shows something that changes at `at`: the engine's clock moves then.
    void wakeAt(const QDateTime& at);
    // When the tick comes next, in milliseconds from now (absent: not armed).
    std::optional<int> nextTickMs() const;
    bool reloadIfConfigChanged();
    void reloadConfig();
    void shutdown();
    // Waits until every run's thread has finished its log (after shutdown).
    bool waitForRuns(int timeoutMs);
    // Modification time in nanoseconds since the epoch; absent when unreadable.
    static std::optional<qint64> mtime(const QString& path);
    int pollIntervalMs() const { return pollTimer_.interval(); }
    bool polling() const { return pollTimer_.isActive(); }

    // Notifications a task's state calls for (Attention.cpp): after each
    // refresh and tick of a started working copy; what was announced is kept in
    // `seenStore`, so a restart does not repeat it.
    void checkAttention();

    // A started engine writes the metrics file when one is configured and its
    // text changed (Metrics.cpp).
    void writeMetrics();

    // Log refresh (LogRefresh.cpp): reads the log folder on a thread of its own
    // and waits a few seconds for it. A folder that does not answer in time
    // shows as a problem; its answer applies when it comes, and no other read
    // starts before.
    void refreshLogs();
    bool isRed(const TaskState& task) const;
    bool volumeBusy(const TaskState& task) const;
    bool anyRunning() const;

    // Starting tasks (TaskStarts.cpp)
    void startReady();
    void runNow(const std::shared_ptr<TaskState>& task, bool dryRun);
    void runAll();
    void cancel(const std::shared_ptr<TaskState>& task);
    // Pause before the next automatic start after consecutive failed runs.
    static qint64 retryDelaySeconds(int failures);

    // Volumes (Volumes.cpp)
    static void isReachableDefault(const QString& address, double timeoutSeconds, Answer answer);
    // A listing of `path` within the time limit, on a thread of its own, at most
    // one per volume at a time; with `mustBePresent` a folder that is no mounted
    // volume fails.
    static void volumeRespondsDefault(const QString& path, double timeoutSeconds, Answer answer,
                                      bool mustBePresent = false);
    // Whether `path` is a mounted volume, within the time limit, off this thread,
    // at most one look per volume at a time; a hung look answers false.
    static void volumePresentDefault(const QString& path, double timeoutSeconds, Answer answer);
    // Asks again about every watched volume that has no question under way; an
    // answer that changes something mounts what is missing and lets due tasks
    // start at once.
    void checkVolumes();
    bool volumePresentNow(const QString& volume) const;
    static QList<MountTarget> mountTargets(const QList<TaskConfig>& tasks,
                                           const std::function<bool(const QString&)>& isMounted,
                                           const QHash<QString, QDateTime>& lastAttempt,
                                           const QDateTime& now, double retryMinutes);
    void tryMountVolumes();

    // Deletion-protection events (DeletionEvents.cpp)
    void checkDeletionEvents();
    void checkDeletionEvent(const QString& lastLine);
    void checkDeletionReport(const QStringList& added);
    void markDeletionReportSeen();
    QString journalFolder() const;
    QString journalPath() const;
    // The last non-empty line, read from the end: a journal of years costs no more
    // than a small one. Absent when there is none or it is over 1 MiB.
    static std::optional<QString> lastJournalLine(const QString& path);

    // Dashboard (Dashboard.cpp): `done` runs once on the main thread with the page or an error.
    using DashboardDone =
        std::function<void(std::optional<QString> page, std::optional<QString> error)>;
    void generateDashboard(DashboardDone done) const;

    // Update check (Engine.cpp)
    void checkForUpdate();

  private:
    // Tests set what only the engine sets otherwise.
    friend struct EngineTestDoor;
    QProperty<TaskList> tasks_;
    QProperty<bool> paused_{false};
    QProperty<bool> shuttingDown_{false};
    QProperty<QStringList> problems_;
    QProperty<QDateTime> now_;
    QProperty<AppConfig> config_;
    QProperty<QDateTime> lastRefresh_;
    QProperty<std::optional<qint64>> configMTime_;
    QProperty<QHash<QString, QDateTime>> lastMountAttempt_;
    QProperty<QHash<QString, bool>> volumePresence_;
    QProperty<QSet<QString>> mountInFlight_;
    QProperty<bool> started_{false};
    QProperty<std::optional<QString>> latestDeletionReport_;
    QProperty<bool> deletionReportUnseen_{false};
    QProperty<std::optional<UpdateInfo>> availableUpdate_;
    void startIfReady(const std::shared_ptr<TaskState>& task);
    bool redStartInFlight() const;
    void probeThenLaunch(const std::shared_ptr<TaskState>& task, PendingStart start);
    struct VolumeProbe;
    void finishProbe(const std::shared_ptr<TaskState>& task, const QSet<QString>& answered);
    void launch(const std::shared_ptr<TaskState>& task, bool dryRun);
    void finishRun(TaskState& task, bool dryRun, const TaskRunner::Result& result);
    void ping(const TaskConfig& task, Ping::Event event, const QString& output = {});
    void rebuildTasks(const AppConfig& config);
    void setProblems(const QStringList& configProblems);
    // A modification time far enough behind the clock to hide no later change.
    qint64 settledBeforeNs() const;
    // A read of the log folder under way on its own thread, and what it found.
    struct PendingRead;
    void collectRead(const std::shared_ptr<PendingRead>& pending);
    void applyReading(const LogReading& reading);
    void emitAlert(const Alert& alert);
    void judgeOutcome(const TaskState& task, QVariantMap& memory, QList<Alert>& news);
    void considerAttention(const QDateTime& at); // an overdue notice comes due then
    // What was announced reaches the disk once for all the checks of a moment
    // (runs ending together), not in a flush per check on this thread.
    // QSettings would flush at the next turn of the event loop after every change.
    QTimer storeTimer_;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void storeSoon();
    void store();
    // Where the settings store keeps something of this repository's task:
    // `prefix`, the repository, the task.
    QString storeKey(const QString& prefix, const QString& task) const;
    // Where what was announced about a task is remembered.
    QString attentionKey(const QString& task) const;
    // What was announced about a task, as remembered (by task name).
    QVariantMap& attentionMemory(const QString& task);
    QHash<QString, QVariantMap> attentionMemory_;

    // The folders of config.toml, the journal and the logs, watched by the
    // kernel: a change is read at once (the logs at most every few seconds),
    // nothing is looked at while nothing changes (Wakes.cpp).
    FolderWatch folders_;    // config.toml's and the journal's
    FolderWatch logFolders_; // the repository's, held while a read is due
    void watchFolders();
    void folderChanged(const QString& folder);
    bool foldersSeeAll_ = false; // every log folder watched and on a local file system
    QTimer refreshSoon_;
    // The tick is armed for the next moment something becomes due: every second
    // while anything runs, else for a start, a light, a notice or a view's text.
    void armTick();
    void wake();
    QDateTime nextWake();
    QDateTime viewWake_;        // the earliest moment a view asked for
    QDateTime attentionWake_;   // when an overdue notice or reminder comes due
    QDateTime startsDue_;       // when an automatic start comes due
    qint64 lastToldReadMs_ = 0; // the last read the kernel's notices asked for (steady clock)
    QTimer tickTimer_;
    QTimer pollTimer_;
    QTimer updateTimer_;
    std::shared_ptr<LogReader> reader_;
    std::shared_ptr<PendingRead> pendingRead_; // while a read has not been collected
    WorkThread readThread_;
    bool repositoryHung_ = false;
    bool logsRead_ = false; // since the first reading was applied
    void watchForSleep();
    void endSettling();
    // Sets every task's `heldBy` from the conditions now; ends pauses that ran out.
    void updateHolds();
    // A hold may have ended: holds shown again, and in a started engine what is due starts.
    void conditionsChanged();
    void loadTaskPauses();
    // Whether the task's schedule makes it due now, whatever holds it.
    bool scheduleDue(const TaskState& task) const;
    QHash<QString, QDateTime> taskPauses_; // by task name; invalid: until resumed
    std::optional<QDateTime> settleUntil_;
    std::optional<bool> onBattery_;
    std::optional<double> batteryPercent_;
    std::optional<bool> metered_;
    QDateTime resumedAt_;
    std::optional<std::pair<QDateTime, qint64>> lastTick_; // wall and steady time
    QSet<QString> forgivenFailures_;                       // logs of runs the sleep failed
    // Every run this engine started, listed task or not: shutdown stops them all,
    // also those of a task a reload dropped, and waits for them.
    QList<std::weak_ptr<TaskRunner>> startedRuns_;
    QList<std::shared_ptr<TaskRunner>> runsUnderWay() const;
    // Kept apart from the last refresh, which every poll renews.
    QDateTime lastConfigCheck_;
    // After a start or a reload, tasks already failed or overdue are announced
    // in one summary instead of one each.
    bool summarizeAttention_ = true;
    QDateTime startedAt_;
    // How long the summary at start waits for the runs due then.
    static constexpr qint64 kStartRunsWaitSeconds = 600;
    // Within the first minutes after a start: the task's run is under way or
    // about to be, so whether it failed or is overdue may soon be over.
    bool startRunPending(const TaskState& task) const;
    QSet<QString> hungAnnounced_; // task name + run start
    // Since when an earlier run's script has kept a task from starting, and
    // whether that spell was told.
    struct HeldSpell {
        QDateTime since;
        bool told = false;
    };
    QHash<QString, HeldSpell> held_;                                       // by task name
    QHash<QString, QPair<QString, std::optional<double>>> lastRunSeconds_; // by task: file, seconds
    QPair<QString, QByteArray> writtenMetrics_;                            // file, text
    QString metricsError_;
    QSet<QString> presenceInFlight_;
    void takePresence(const QString& volume, bool present);
    // The volume waits `mount_retry_minutes` before its next mount attempt.
    void noteMountAttempt(const QString& volume);
};
