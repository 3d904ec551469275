#include "TaskRunner.h"

#include "OutputPump.h"
#include "platform/PosixFile.h"
#include "platform/SleepGuard.h"
#include "platform/Spawn.h"

#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QString systemError(const char* what, int error) {
    return QString::fromUtf8(what) + QStringLiteral(": ") +
           QString::fromLocal8Bit(std::strerror(error));
}

// Reads the pipe until every holder of its write end has closed it.
void pump(int readFd, OutputPump& output) {
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const ssize_t n = ::read(readFd, buffer.data(), static_cast<size_t>(buffer.size()));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        output.feed(QByteArrayView(buffer.constData(), n));
    }
    output.finish();
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

} // namespace

TaskRunner::TaskRunner(TaskConfig task_, Paths paths_, bool dryRun_, ProgressSink onProgress)
    : task(std::move(task_)), paths(std::move(paths_)), logs(paths.logs()), dryRun(dryRun_),
      onProgress_(std::move(onProgress)) {}

TaskRunner::Result TaskRunner::run(Clock::time_point start) {
    Result result = runToEnd(start);
    done_ = true;
    return result;
}

TaskRunner::Result TaskRunner::runToEnd(Clock::time_point start) {
    std::optional<QString> logFile;
    if (!dryRun) {
        const LogStore::Opened opened = logs.open(task.name, task.safeName(), task.script, start);
        if (opened.error) return fail(*opened.error, std::nullopt, start);
        logFile = opened.file;
    }
    const GuardScope guard{SleepGuard::start(QStringLiteral("Savewright: ") + task.name)};

    const QString scriptPath = paths.scripts() + u'/' + task.script;
    if (!QFileInfo::exists(scriptPath))
        return fail(QStringLiteral("Script not found: ") + scriptPath, logFile, start);
    Spawn::Options options;
    options.program = "/bin/bash";
    PosixFile::UniqueFd dryRunText;
    try {
        options.arguments = scriptArguments(scriptPath, dryRunText);
    } catch (const Failure& f) {
        return fail(f.message, logFile, start);
    }
    options.workingDirectory = PosixFile::encodePath(paths.repo);
    options.environment = Spawn::environmentWith("PYTHONUNBUFFERED", "1");
    options.fd3 = dryRunText.get();
    options.newProcessGroup = true;

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return fail(systemError("pipe", errno), logFile, start);
    options.stdoutFd = options.stderrFd = pipeFds[1];
    const int logFd = logFile ? ::open(PosixFile::encodePath(*logFile).constData(),
                                       O_WRONLY | O_APPEND | O_CLOEXEC)
                              : -1;

    Spawn::Started started;
    std::optional<QString> cancelledBefore;
    {
        // Launching under the lock: a cancel either comes first and the script
        // never runs, or finds it running.
        const std::lock_guard lock(lock_);
        if (cancelled_)
            cancelledBefore = QStringLiteral("Abgebrochen: ") + cancelReason_;
        else
            started = Spawn::start(options);
        if (started.pid) process_ = started.pid;
    }
    ::close(pipeFds[1]);
    if (!started.pid) {
        ::close(pipeFds[0]);
        if (logFd >= 0) ::close(logFd);
        return fail(
            cancelledBefore.value_or(systemError("Could not start /bin/bash", started.error)),
            logFile, start);
    }

    OutputPump output(logFd, onProgress_);
    pump(pipeFds[0], output);
    ::close(pipeFds[0]);
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
    if (logFd >= 0) {
        if (cancelled) {
            PosixFile::writeAll(logFd, "\n--- Abgebrochen: " + reason.toUtf8() + " ---\n");
        }
        ::close(logFd);
    }
    const bool success = status == 0 && !cancelled;
    if (logFile) {
        LogStore::finalize(*logFile, output.stats(), success, Clock::now());
        logs.cleanup(task.safeName(), task.maxLogs);
    }
    Result result{success, output.output(), std::nullopt};
    if (cancelled)
        result.error = QStringLiteral("Abgebrochen: ") + reason;
    else if (!success)
        result.error = QStringLiteral("Script exited with code %1").arg(status);
    return result;
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

TaskRunner::Result TaskRunner::fail(const QString& message, std::optional<QString> logFile,
                                    Clock::time_point start) {
    if (!dryRun) {
        if (!logFile) {
            const LogStore::Opened again =
                logs.open(task.name, task.safeName(), task.script, start);
            if (!again.error) logFile = again.file;
        }
        if (logFile) {
            PosixFile::append(*logFile, "\n--- ERROR ---\n" + message.toUtf8() + "\n");
            LogStore::finalize(*logFile, message, false, Clock::now());
        }
    }
    return {false, message, message};
}
