// Another working copy of Savewright, or the older script shell, in the process table.
#include "Engine.h"

#include "platform/ProcessTable.h"

#include <unistd.h>

QList<ProcessEntry> Engine::processes() {
    QList<ProcessEntry> out;
    for (const ProcessTable::Entry& e : ProcessTable::entries()) {
        const QByteArray raw = ProcessTable::rawCommandLine(e.pid);
        const QString command = ProcessTable::parseCommandLine(raw);
        if (!command.isEmpty()) out.append({e.pid, command, ProcessTable::parseProgram(raw)});
    }
    return out;
}

bool Engine::otherWorkingInstanceRunning(const QList<ProcessEntry>& table, pid_t self) {
    for (const ProcessEntry& p : table) {
        if (p.pid == self) continue;
        // The whole program path: "/opt/My Apps/savewright" is a copy too.
        const bool savewright = p.program.endsWith(u"/savewright") || p.program == u"savewright";
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
