#include "Spawn.h"

#include "PosixFile.h"

#include "Detached.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace Spawn {

namespace {

constexpr int kIoprioWhoProcess = 1;
constexpr int kIoprioClassShift = 13;
constexpr int kIoprioClassBestEffort = 2;
constexpr int kIoprioClassIdle = 3;

// Niceness and I/O class of the calling thread, which a child inherits.
int lowerThisThread(const Options& o) {
    const pid_t self = static_cast<pid_t>(::syscall(SYS_gettid));
    if (o.nice && ::setpriority(PRIO_PROCESS, static_cast<id_t>(self), *o.nice) != 0) return errno;
    if (o.ioIdle) {
        // Best-effort at the level the niceness gives, as the kernel's default does.
        const int level = (o.nice.value_or(0) + 20) / 5;
        const int prio = *o.ioIdle ? kIoprioClassIdle << kIoprioClassShift
                                   : (kIoprioClassBestEffort << kIoprioClassShift) | level;
        if (::syscall(SYS_ioprio_set, kIoprioWhoProcess, self, prio) != 0) return errno;
    }
    return 0;
}

Started startHere(const Options& o) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const int fds[3] = {o.stdinFd, o.stdoutFd, o.stderrFd};
    for (int target = 0; target < 3; ++target) {
        if (fds[target] >= 0)
            posix_spawn_file_actions_adddup2(&actions, fds[target], target);
        else
            posix_spawn_file_actions_addopen(&actions, target, "/dev/null",
                                             target == 0 ? O_RDONLY : O_WRONLY, 0);
    }
    if (o.fd3 >= 0) posix_spawn_file_actions_adddup2(&actions, o.fd3, 3);
    posix_spawn_file_actions_addclosefrom_np(&actions, o.fd3 >= 0 ? 4 : 3);
    if (!o.workingDirectory.isEmpty())
        posix_spawn_file_actions_addchdir_np(&actions, o.workingDirectory.constData());

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (o.newProcessGroup) {
        flags |= POSIX_SPAWN_SETPGROUP;
        posix_spawnattr_setpgroup(&attr, 0);
    }
    // The child starts with default dispositions and no blocked signals, whatever
    // the application ignores or blocks for itself.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, flags);

    QList<QByteArray> argStore{o.program};
    argStore += o.arguments;
    QList<char*> argv;
    for (QByteArray& a : argStore)
        argv.append(a.data());
    argv.append(nullptr);
    QList<QByteArray> envStore = o.environment;
    QList<char*> envp;
    for (QByteArray& e : envStore)
        envp.append(e.data());
    envp.append(nullptr);

    Started s;
    s.error = posix_spawn(&s.pid, o.program.constData(), &actions, &attr, argv.data(),
                          o.environment.isEmpty() ? environ : envp.data());
    if (s.error) s.pid = 0;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    return s;
}

int decoded(int status) {
    return WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status);
}

} // namespace

Started start(const Options& o) {
    if (!o.nice && !o.ioIdle) return startHere(o);
    // Niceness cannot be raised back without privileges: a thread of its own
    // takes it, and the child inherits it from there.
    Started s;
    const bool ran = runJoined([&] {
        if (const int error = lowerThisThread(o)) {
            s.error = error;
            return;
        }
        s = startHere(o);
    });
    if (!ran) s.error = EAGAIN;
    return s;
}

QList<QByteArray> environmentWith(const QList<std::pair<QByteArray, QByteArray>>& variables) {
    QList<QByteArray> env;
    for (char** e = environ; e && *e; ++e) {
        const QByteArrayView entry(*e);
        const bool replaced = std::any_of(variables.cbegin(), variables.cend(), [&](const auto& v) {
            return entry.startsWith(v.first) && entry.size() > v.first.size() &&
                   entry[v.first.size()] == '=';
        });
        if (!replaced) env.append(QByteArray(*e));
    }
    for (const auto& [name, value] : variables)
        env.append(name + '=' + value);
    return env;
}

int reap(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return decoded(status);
}

std::optional<int> reapIfEnded(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) != pid) return std::nullopt;
    return decoded(status);
}

bool startUnwaited(const Options& options) {
    const Started started = start(options);
    if (!started.pid) return false;
    if (!startDetached([pid = started.pid] { reap(pid); })) reap(started.pid);
    return true;
}

Finished runToEnd(Options o, qsizetype keep) {
    Finished f;
    int err[2];
    if (::pipe2(err, O_CLOEXEC) != 0) {
        f.piped = false;
        return f;
    }
    PosixFile::UniqueFd readEnd(err[0]), writeEnd(err[1]);
    o.stderrFd = writeEnd.get();
    const Started started = start(o);
    writeEnd.reset(); // only the child holds it now
    char buffer[4096];
    for (ssize_t n; (n = ::read(readEnd.get(), buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        f.errorTail.append(buffer, n);
        if (f.errorTail.size() > 2 * keep) f.errorTail.remove(0, f.errorTail.size() - keep);
    }
    if (f.errorTail.size() > keep) f.errorTail.remove(0, f.errorTail.size() - keep);
    if (!started.pid) return f;
    f.started = true;
    f.status = reap(started.pid);
    return f;
}

} // namespace Spawn
