// Another working copy of Savewright, or the older script shell, in the process table.
#include "Engine.h"

#include "platform/ProcessTable.h"

#include <unistd.h>

QList<ProcessEntry> Engine::processes() {
    QList<ProcessEntry> out;
    for (const ProcessTable::Entry& e : ProcessTable::entries()) {
        const QString command = ProcessTable::commandLine(e.pid);
        if (!command.isEmpty()) out.append({e.pid, command});
    }
    return out;
}

bool Engine::otherWorkingInstanceRunning(const QList<ProcessEntry>& table, pid_t self) {
    for (const ProcessEntry& p : table) {
        if (p.pid == self) continue;
        const QString program = p.command.section(u' ', 0, 0);
        const bool savewright = program.endsWith(u"/savewright") || program == u"savewright";
        if (savewright && !p.command.contains(u"--observe") && !p.command.contains(u"--snapshot") &&
            !p.command.contains(u"--run-spiegel"))
            return true;
    }
    return false;
}

bool Engine::otherWorkingInstanceRunning() {
    return otherWorkingInstanceRunning(processes(), ::getpid());
}

bool Engine::pythonShellRunning(const QList<ProcessEntry>& table) {
    return std::any_of(table.cbegin(), table.cend(), [](const ProcessEntry& p) {
        return p.command.toLower().contains(u"python") && p.command.endsWith(u"/run.py");
    });
}

bool Engine::pythonShellRunning() {
    return pythonShellRunning(processes());
}
