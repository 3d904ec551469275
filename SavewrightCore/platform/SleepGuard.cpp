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

} // namespace SleepGuard
