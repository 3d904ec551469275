// The engine's lifecycle: creation, timers, configuration (re)loading, shutdown.
#include "Engine.h"

#include "base/Language.h"
#include "base/MainThread.h"
#include "execution/TaskRunner.h"
#include "platform/Console.h"
#include "platform/Mounts.h"
#include "platform/PosixFile.h"

#include <QPointer>

#include <cmath>
#include <thread>

namespace {

constexpr double kPollFloorSeconds = 5.0;
constexpr qint64 kRefreshEveryMs = 5000;
constexpr int kUpdateEveryMs = 21600 * 1000;
constexpr int kStoreAfterMs = 2000;
constexpr auto kUnlaunchedRunMs = std::chrono::milliseconds(1000);

// Task names key the task states and, through their safe names, the log files.
void refuseDuplicateNames(const AppConfig& config) {
    QHash<QString, QString> bySafeName;
    for (const TaskConfig& t : config.tasks) {
        const auto other = bySafeName.constFind(t.safeName());
        if (other != bySafeName.constEnd() && *other == t.name)
            throw TOMLError(
                0, Language::translate("Engine", "Task „%1“ ist mehrfach eingetragen").arg(t.name));
        // "a b" and "a_b" would write, read and clean up one stream of logs.
        if (other != bySafeName.constEnd())
            throw TOMLError(
                0, Language::translate("Engine", "Task „%1“ schreibt dieselben Logdateien wie „%2“")
                       .arg(t.name, *other));
        bySafeName.insert(t.safeName(), t.name);
    }
}

} // namespace

Engine::Engine(Paths paths_, bool observeOnly_, QStringList extraProblems,
               std::unique_ptr<QSettings> store, std::function<Clock::time_point()> clock_,
               QObject* parent)
    : QObject(parent), paths(std::move(paths_)), observeOnly(observeOnly_),
      seenStore(store ? std::move(store)
                      : std::make_unique<QSettings>(QStringLiteral("Savewright"),
                                                    QStringLiteral("Savewright"))),
      currentVersion(UpdateChecker::currentVersion()),
      folders_([this](const QString& folder) { folderChanged(folder); }),
      logFolders_([this](const QString& folder) { folderChanged(folder); }) {
    clock = clock_ ? std::move(clock_) : [] { return Clock::now(); };
    steadyMs = &TaskRunner::steadyMs;
    isReachable = [](const QString& a, Answer answer) {
        isReachableDefault(a, 3.0, std::move(answer));
    };
    volumeResponds = [](const QString& path, Answer answer) {
        volumeRespondsDefault(path, 3.0, std::move(answer), true);
    };
    volumePresent = [](const QString& path, Answer answer) {
        volumePresentDefault(path, 3.0, std::move(answer));
    };
    mountVolume = [](const MountTarget& t) { Mounts::mount(t.volume, t.url); };
    fetchUpdate = [](const QString& address, UpdateChecker::Delivery deliver) {
        UpdateChecker::fetch(address, std::move(deliver));
    };
    sendPing = Ping::send;

    problems_ = extraProblems;
    now_ = currentTime();
    lastRefresh_ = QDateTime::fromSecsSinceEpoch(0, Qt::UTC);
    tickTimer_.setSingleShot(true);
    tickTimer_.setTimerType(Qt::PreciseTimer);
    connect(&tickTimer_, &QTimer::timeout, this, &Engine::wake);
    connect(&pollTimer_, &QTimer::timeout, this, &Engine::poll);
    seenStore->installEventFilter(this);
    storeTimer_.setSingleShot(true);
    storeTimer_.setInterval(kStoreAfterMs);
    connect(&storeTimer_, &QTimer::timeout, this, &Engine::store);
    refreshSoon_.setSingleShot(true);
    connect(&refreshSoon_, &QTimer::timeout, this, [this] {
        lastToldReadMs_ = TaskRunner::steadyMs();
        refreshLogs();
        if (started) startReady(); // a log gone may leave a task due
    });
    updateTimer_.setInterval(kUpdateEveryMs);
    connect(&updateTimer_, &QTimer::timeout, this, &Engine::checkForUpdate);
    reader_ = std::make_shared<LogReader>(paths);
    reloadConfig();
}

Engine::~Engine() {
    if (storeTimer_.isActive()) store();
}

void Engine::start() {
    if (started) return;
    started_ = true;
    startedAt_ = currentTime();
    watchFolders();
    schedulePoll();
    checkVolumes();
    refreshLogs();
    // Events that arrived while the program was not running, found at creation.
    if (unannouncedDeletionEvent && onNewDeletionEvent)
        onNewDeletionEvent(*std::exchange(unannouncedDeletionEvent, std::nullopt));
    if (!observeOnly) {
        if (!paused) tryMountVolumes();
        startReady();
    }
    checkForUpdate();
    updateTimer_.start();
    armTick();
}

void Engine::checkForUpdate() {
    const QString address = config.value().updateURL;
    if (address.isEmpty() || shuttingDown) return;
    QPointer<Engine> engine(this);
    fetchUpdate(address, [engine](std::optional<UpdateInfo> info) {
        postToMain([engine, info] {
            if (!engine) return;
            if (!info || !UpdateChecker::isNewer(info->version, engine->currentVersion)) {
                engine->availableUpdate_ = std::nullopt;
                return;
            }
            engine->availableUpdate_ = info;
            const QString key = QStringLiteral("lastNotifiedUpdate");
            if (engine->seenStore->value(key).toString() == info->version) return;
            engine->seenStore->setValue(key, info->version);
            if (engine->onUpdateAvailable) engine->onUpdateAvailable(*info);
        });
    });
}

void Engine::schedulePoll() {
    double seconds = config.value().pollIntervalSeconds;
    if (std::isnan(seconds)) seconds = AppConfig().pollIntervalSeconds; // never reaches a timer
    pollTimer_.setInterval(
        static_cast<int>(std::clamp(seconds, kPollFloorSeconds, 86400.0) * 1000.0));
    if (pollNeeded())
        pollTimer_.start();
    else
        pollTimer_.stop();
}

void Engine::tick() {
    now_ = currentTime();
    watchForSleep();
    const bool refreshDue = lastRefresh.value().msecsTo(now.value()) >= kRefreshEveryMs;
    if (refreshDue || lastConfigCheck_.msecsTo(now.value()) >= kRefreshEveryMs) {
        lastConfigCheck_ = now;
        if (reloadIfConfigChanged()) return; // the reload refreshed the logs
    }
    if (refreshDue) refreshLogs();
}

void Engine::poll() {
    // Unwatched (no support folder yet), the configuration is looked at with
    // the logs until the folder can be watched.
    if (!folders_.watching(paths.appSupport)) {
        watchFolders();
        reloadIfConfigChanged();
        if (folders_.watching(paths.appSupport)) schedulePoll();
    }
    checkVolumes();
    refreshLogs();
    if (observeOnly) return;
    if (!paused) tryMountVolumes();
    startReady();
}

std::optional<qint64> Engine::mtime(const QString& path) {
    if (const auto s = PosixFile::stamp(path)) return s->mtimeNs;
    return std::nullopt;
}

bool Engine::reloadIfConfigChanged() {
    if (mtime(paths.configFile()) == configMTime.value()) return false;
    reloadConfig();
    return true;
}

void Engine::setProblems(const QStringList& configProblems) {
    QStringList kept;
    for (const QString& p : problems.value())
        if (!p.startsWith(u"config.toml")) kept.append(p);
    problems_ = kept + configProblems;
}

void Engine::setPaused(bool on) {
    paused_ = on;
    if (!on && started) startReady();
}

void Engine::replaceProblem(const QString& prefix, const std::optional<QString>& text) {
    QStringList list = problems.value();
    list.removeIf([&](const QString& p) { return p.startsWith(prefix); });
    if (text) list.append(*text);
    problems_ = list;
}

void Engine::reloadConfig() {
    lastConfigCheck_ = currentTime();
    configMTime_ = mtime(paths.configFile());
    AppConfig loaded;
    try {
        loaded = AppConfig::load(paths.configFile());
        refuseDuplicateNames(loaded);
    } catch (const ConfigError& e) {
        setProblems(QStringList{QStringLiteral("config.toml: ") + e.description()} + e.alsoFound);
        Console::say(
            Language::translate("Engine", "config.toml nicht lesbar: %1").arg(e.description()));
        return;
    }
    setProblems(loaded.warnings);
    config_ = loaded;
    summarizeAttention_ = true;
    const QString at = currentTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss +0000"));
    const int count = static_cast<int>(loaded.tasks.size());
    Console::say(
        count == 1
            ? Language::translate("Engine", "config.toml geladen: 1 Task (%1)").arg(at)
            : Language::translate("Engine", "config.toml geladen: %n Tasks (%1)", nullptr, count)
                  .arg(at));
    rebuildTasks(loaded);
    refreshLogs();
    if (!started) return;
    schedulePoll();
    startReady(); // a new task may be due
}

void Engine::rebuildTasks(const AppConfig& loaded) {
    QHash<QString, std::shared_ptr<TaskState>> byName;
    for (const auto& t : tasks.value())
        byName.insert(t->id, t);
    TaskList rebuilt;
    for (const TaskConfig& c : loaded.tasks) {
        if (auto existing = byName.value(c.name)) {
            existing->config = c;
            rebuilt.append(existing);
        } else {
            rebuilt.append(std::make_shared<TaskState>(c));
        }
    }
    tasks_ = rebuilt;
    loadTaskPauses();
    updateHolds();
}

QList<std::shared_ptr<TaskRunner>> Engine::runsUnderWay() const {
    QList<std::shared_ptr<TaskRunner>> runners;
    for (const auto& weak : startedRuns_)
        if (const auto r = weak.lock(); r && !r->done()) runners.append(r);
    return runners;
}

bool Engine::waitForRuns(int timeoutMs) {
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::milliseconds(timeoutMs);
    // A run stopped before its script started gets a moment to mark its log; one
    // stuck in a log folder that does not answer must not hold the exit up.
    const auto unlaunchedDeadline =
        start + std::min(kUnlaunchedRunMs, std::chrono::milliseconds(timeoutMs));
    for (;;) {
        const auto t = std::chrono::steady_clock::now();
        QList<std::shared_ptr<TaskRunner>> runs = runsUnderWay();
        if (t > unlaunchedDeadline)
            runs.removeIf([](const auto& r) { return r->stoppedBeforeScript(); });
        if (runs.isEmpty()) return true;
        if (t > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void Engine::shutdown() {
    shuttingDown_ = true;
    tickTimer_.stop();
    pollTimer_.stop();
    refreshSoon_.stop();
    if (storeTimer_.isActive()) store();
    const QList<std::shared_ptr<TaskRunner>> runners = runsUnderWay();
    if (runners.isEmpty()) return;
    Console::say(Language::translate("Engine", "Beenden: %n laufende(n) Task(s) abbrechen", nullptr,
                                     runners.size()));
    std::vector<std::thread> cancels;
    for (const auto& r : runners)
        cancels.emplace_back(
            [r] { r->cancel(true, QString::fromUtf8(TaskRunner::kStoppedAtQuit)); });
    for (std::thread& c : cancels)
        c.join();
}
