#include "SleepGuard.h"

#include "ProcessTable.h"
#include "Spawn.h"

#include <QFile>
#include <QStandardPaths>

#include <csignal>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace SleepGuard {

pid_t start(const QString& why) {
    static const QString program =
        QStandardPaths::findExecutable(QStringLiteral("systemd-inhibit"));
    static const QString tail = QStandardPaths::findExecutable(QStringLiteral("tail"));
    if (program.isEmpty() || tail.isEmpty()) return 0;
    Spawn::Options o;
    o.program = QFile::encodeName(program);
    o.arguments = {"--what=sleep",
                   "--who=Savewright",
                   "--why=" + why.toUtf8(),
                   QFile::encodeName(tail),
                   "--pid=" + QByteArray::number(::getpid()),
                   "-f",
                   "/dev/null"};
    return Spawn::start(o).pid;
}

void stop(pid_t guard) {
    if (guard <= 0) return;
    QList<ProcessTable::Entry> targets = ProcessTable::descendants(guard, ProcessTable::entries());
    for (const ProcessTable::Entry& e : targets)
        ::kill(e.pid, SIGTERM);
    ::kill(guard, SIGTERM);
    for (int i = 0; i < 50; ++i) {
        int status = 0;
        if (::waitpid(guard, &status, WNOHANG) != 0) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(guard, SIGKILL);
    for (const ProcessTable::Entry& e : targets)
        if (ProcessTable::alive(e)) ::kill(e.pid, SIGKILL);
    Spawn::reap(guard);
}

pid_t startKeeper(const QByteArray& marker, pid_t scriptGroup) {
    static const QString tail = QStandardPaths::findExecutable(QStringLiteral("tail"));
    if (tail.isEmpty()) return 0;
    Spawn::Options o;
    o.program = "/bin/sh";
    o.arguments = {"-c",
                   "app=$1 marker=$2 group=$3\n"
                   "\"$4\" --pid=\"$app\" -f /dev/null 2>/dev/null\n"
                   "stop() {\n"
                   "  kill -\"$1\" -- \"-$group\" 2>/dev/null\n"
                   "  for f in $(grep -lsxzF -- \"$marker\" /proc/[0-9]*/environ); do\n"
                   "    p=${f#/proc/}; kill -\"$1\" \"${p%/environ}\" 2>/dev/null\n"
                   "  done\n"
                   "}\n"
                   "stop TERM; sleep 5; stop KILL\n",
                   "savewright-keeper",
                   QByteArray::number(::getpid()),
                   marker,
                   QByteArray::number(scriptGroup),
                   QFile::encodeName(tail)};
    // A group of its own: stopping it reaches the shell and its tail at once.
    o.newProcessGroup = true;
    return Spawn::start(o).pid;
}

void stopKeeper(pid_t keeper) {
    if (keeper <= 0) return;
    ::kill(-keeper, SIGKILL);
    Spawn::reap(keeper);
}

} // namespace SleepGuard
