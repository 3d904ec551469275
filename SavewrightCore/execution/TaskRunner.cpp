#include "TaskRunner.h"

#include "OutputPump.h"
#include "base/Language.h"
#include "platform/PosixFile.h"
#include "platform/SleepGuard.h"
#include "platform/Spawn.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr const char* kElsewhere =
    QT_TRANSLATE_NOOP("TaskRunner", "Läuft schon in einer anderen Savewright-Kopie");
constexpr const char* kEarlierRun = QT_TRANSLATE_NOOP("TaskRunner", "Ein früherer Lauf läuft noch");
constexpr const char* kCancelled = "Abgebrochen: ";

constexpr int kPipeBytes = 1024 * 1024; // what an unprivileged process may ask for
constexpr auto kLeastGather = std::chrono::microseconds(500);
constexpr auto kMostGather = std::chrono::microseconds(10'000);

QString systemError(const char* what, int error) {
    return QString::fromUtf8(what) + QStringLiteral(": ") +
           QString::fromLocal8Bit(std::strerror(error));
}

// Waits for the child to end without reaping it, so its id cannot be reused
// while a cancel may still look at it.
void awaitExit(pid_t pid) {
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) < 0 &&
           errno == EINTR) {
    }
}

struct GuardScope {
    pid_t guard;
    ~GuardScope() { SleepGuard::stop(guard); }
};

struct KeeperScope {
    pid_t keeper;
    ~KeeperScope() { SleepGuard::stopKeeper(keeper); }
};

constexpr int kPumpWakeMs = 250;
// The cancel's grace (SIGKILL at 5 s) and a moment for the kill to land.
constexpr qint64 kStopReadingAfterMs = 5500;
const char* const kRunMarker = "SAVEWRIGHT_RUN";

QByteArray newRunId() {
    static std::atomic<quint64> counter{0};
    return QByteArray::number(::getpid()) + '-' + QByteArray::number(++counter) + '-' +
           QByteArray::number(QRandomGenerator::global()->generate64(), 16);
}

} // namespace

qint64 TaskRunner::steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

TaskRunner::TaskRunner(TaskConfig task_, Paths paths_, bool dryRun_, ProgressSink onProgress,
                       WallClock clock)
    : task(std::move(task_)), paths(std::move(paths_)), logs(paths.logs()), dryRun(dryRun_),
      onProgress_(std::move(onProgress)), clock_(std::move(clock)), runId_(newRunId()) {}

TaskRunner::Result TaskRunner::run(Clock::time_point start) {
    Result result = runToEnd(start);
    done_ = true;
    return result;
}

TaskRunner::Result TaskRunner::runToEnd(Clock::time_point start) {
    // One run of a task at a time, across every copy on the machine (two
    // copies with their own --support may share a repository).
    const QString lock = lockFile(paths, task.safeName());
    QDir().mkpath(QFileInfo(lock).path());
    const PosixFile::Lock held = PosixFile::tryLock(lock);
    if (held.busy) return notRun(QString::fromUtf8(kElsewhere));
    // A run of this task from before (of a copy that died, say) still has its
    // script running: a second one beside it would run the same backup twice.
    // Asked here, on the run's thread: it reads every process's environment.
    if (earlierRunAlive(task.safeName(), paths.logs()))
        return notRun(QString::fromUtf8(kEarlierRun));
    LogStore::Opened log;
    if (!dryRun) {
        log = logs.open(task.name, task.safeName(), task.script, start);
        if (log.error) return fail(*log.error, log, start);
    }
    const GuardScope guard{SleepGuard::start(QStringLiteral("Savewright: ") + task.name)};

    const QString scriptPath = paths.scripts() + u'/' + task.script;
    if (!QFileInfo::exists(scriptPath))
        return fail(QStringLiteral("Script not found: ") + scriptPath, log, start);
    Spawn::Options options;
    options.program = "/bin/bash";
    PosixFile::UniqueFd dryRunText;
    try {
        options.arguments = scriptArguments(scriptPath, dryRunText);
    } catch (const Failure& f) {
        return fail(f.message, log, start);
    }
    options.workingDirectory = PosixFile::encodePath(paths.repo);
    options.environment =
        Spawn::environmentWith({{"PYTHONUNBUFFERED", "1"},
                                {kRunMarker, runId_},
                                {kTaskMarker, task.safeName().toUtf8()},
                                {kLogsMarker, PosixFile::encodePath(paths.logs())}});
    options.fd3 = dryRunText.get();
    options.newProcessGroup = true;
    options.nice = task.nice;
    options.ioIdle = task.ioIdle;

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return fail(systemError("pipe", errno), log, start);
    const PosixFile::UniqueFd readEnd(pipeFds[0]);
    PosixFile::UniqueFd writeEnd(pipeFds[1]);
    // A script that writes fast fills a 64 KiB pipe in small pieces; in a larger
    // one it waits less and the run reads in larger ones. Refused (a system
    // limit), the pipe stays as it is.
    ::fcntl(readEnd.get(), F_SETPIPE_SZ, kPipeBytes);
    options.stdoutFd = options.stderrFd = writeEnd.get();

    Spawn::Started started;
    std::optional<QString> cancelledBefore;
    {
        // Launching under the lock: a cancel either comes first and the script
        // never runs, or finds it running.
        const std::lock_guard lock(lock_);
        if (cancelled_)
            cancelledBefore = cancelReason_;
        else
            started = Spawn::start(options);
        if (started.pid) process_ = started.pid;
        launched_ = started.pid != 0;
    }
    writeEnd.reset();
    // A stop that came first is a stop, not a failure.
    if (cancelledBefore) return stopped(*cancelledBefore, log);
    if (!started.pid)
        return fail(systemError("Could not start /bin/bash", started.error), log, start);
    // Should the program die, the keeper stops what this run left behind.
    const KeeperScope keeper{SleepGuard::startKeeper(marker(), started.pid)};

    OutputPump output(log.fd.get(), onProgress_, static_cast<qint64>(task.maxLogMb * 1024 * 1024));
    pump(readEnd.get(), started.pid, output);
    awaitExit(started.pid);
    bool cancelled;
    QString reason;
    {
        const std::lock_guard lock(lock_);
        cancelled = cancelled_;
        reason = cancelReason_;
        process_ = 0;
    }
    const int status = Spawn::reap(started.pid);
    if (log.fd && cancelled) PosixFile::writeAll(log.fd.get(), abortMarker(reason));
    const bool success = status == 0 && !cancelled;
    Result result{success, output.output(), std::nullopt, std::nullopt, cancelled, false, {}};
    if (log.fd) {
        result.logFile = log.file;
        if (!LogStore::finalize(log.fd.get(), output.stats(), success, clock_()))
            result.logError = PosixFile::reason(errno);
        log.fd.reset();
        logs.cleanup(task.safeName(), task.maxLogs, log.file, clock_());
    }
    if (cancelled)
        result.error = QString::fromUtf8(kCancelled) + reason;
    else if (!success)
        result.error = QStringLiteral("Script exited with code %1").arg(status);
    return result;
}

bool TaskRunner::stoppedBeforeScript() {
    const std::lock_guard lock(lock_);
    return cancelled_ && !launched_;
}

QByteArray TaskRunner::marker() const {
    return QByteArray(kRunMarker) + '=' + runId_;
}

// Reads the pipe until every holder of its write end has closed it. After a
// cancel, once the script is gone and the grace is over, it stops: a daemon the
// script left holding the pipe cannot keep a stopped run going.
void TaskRunner::pump(int readFd, pid_t script, OutputPump& output) {
    std::chrono::microseconds gather{0};
    for (;;) {
        pollfd p{readFd, POLLIN, 0};
        const int ready = ::poll(&p, 1, kPumpWakeMs);
        if (ready < 0 && errno != EINTR) break;
        if (stopReading(script)) break;
        if (ready <= 0) continue;
        const std::span<char> room = output.room(kPipeBytes / 4);
        const ssize_t n = ::read(readFd, room.data(), room.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        output.took(n);
        // A script that writes in small pieces would wake this thread for each:
        // a moment's wait lets them gather in the pipe. The wait grows while
        // reads stay small and shrinks when one nearly fills the pipe, which
        // must not make a fast script wait.
        if (n >= kPipeBytes * 3 / 4 || size_t(n) == room.size())
            gather /= 2;
        else if (n < kPipeBytes / 4)
            gather = std::clamp(gather * 2, kLeastGather, kMostGather);
        if (gather >= kLeastGather) std::this_thread::sleep_for(gather);
    }
    output.finish();
}

bool TaskRunner::stopReading(pid_t script) const {
    const qint64 at = cancelledAtMs_;
    if (at == 0 || steadyMs() < at + kStopReadingAfterMs) return false;
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(script), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == script;
}

QList<QByteArray> TaskRunner::scriptArguments(const QString& scriptPath,
                                              PosixFile::UniqueFd& text) const {
    if (!dryRun) return {PosixFile::encodePath(scriptPath)};
    const PosixFile::ReadResult r = PosixFile::readAll(scriptPath);
    if (!r.ok()) throw Failure{systemError("Could not read the script", r.error)};
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString rewritten = decoder(r.data);
    if (decoder.hasError())
        throw Failure{QStringLiteral("The script is not UTF-8 text: ") + scriptPath};
    rewritten.replace(QStringLiteral("rsync "), QStringLiteral("rsync --dry-run "));
    // One argument may hold 128 KiB at most: the text reaches bash in a memory
    // file on descriptor 3, which the script itself never sees.
    text = PosixFile::UniqueFd(::memfd_create("savewright-dry-run", MFD_CLOEXEC));
    const QByteArray bytes = rewritten.toUtf8();
    if (!text || !PosixFile::writeAll(text.get(), bytes) || ::lseek(text.get(), 0, SEEK_SET) != 0)
        throw Failure{systemError("Could not prepare the dry run", errno)};
    return {"-c", "eval \"exec 3<&-\n$(</dev/fd/3)\""};
}

TaskRunner::Result TaskRunner::notRun(const QString& why) {
    return {false, {}, why, std::nullopt, false, true, {}};
}

QString TaskRunner::lockFile(const Paths& paths, const QString& safeName) {
    return RunOrder::locksFolder(paths.logs()) + u'/' + safeName + QStringLiteral(".lock");
}

QByteArray TaskRunner::abortMarker(const QString& reason) {
    return "\n" + (LogStore::abortMarker() + u' ' + reason).toUtf8() + " ---\n";
}

TaskRunner::Result TaskRunner::stopped(const QString& reason, LogStore::Opened& log) {
    Result result{false, {}, QString::fromUtf8(kCancelled) + reason, std::nullopt, true, false, {}};
    if (!log.fd) return result;
    PosixFile::writeAll(log.fd.get(), abortMarker(reason));
    if (!LogStore::finalize(log.fd.get(), {}, false, clock_()))
        result.logError = PosixFile::reason(errno);
    return result;
}

TaskRunner::Result TaskRunner::fail(const QString& message, LogStore::Opened& log,
                                    Clock::time_point start) {
    Result result{false, message, message, std::nullopt, false, false, {}};
    if (dryRun) return result;
    if (!log.fd) {
        // The first open failed: one more try, so the reason lands in a log.
        log = logs.open(task.name, task.safeName(), task.script, start);
        if (!log.fd) {
            result.logError = message;
            return result;
        }
    }
    result.logFile = log.file;
    PosixFile::writeAll(log.fd.get(), "\n--- ERROR ---\n" + message.toUtf8() + "\n");
    if (!LogStore::finalize(log.fd.get(), LogStore::parseStats(message), false, clock_()))
        result.logError = PosixFile::reason(errno);
    return result;
}

QString TaskRunner::shown(const QString& error) {
    const QString cancelled = QString::fromUtf8(kCancelled);
    if (error.startsWith(cancelled))
        return Language::translate("TaskRunner", "Abgebrochen: %1")
            .arg(shown(error.mid(cancelled.size())));
    for (const char* own : {kStoppedByHand, kStoppedAtQuit, kElsewhere, kEarlierRun})
        if (error == QString::fromUtf8(own)) return Language::translate("TaskRunner", own);
    return error;
}
