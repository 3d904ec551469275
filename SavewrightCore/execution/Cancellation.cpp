// Stopping a run: the script, its descendants and what stayed in its process group.
#include "TaskRunner.h"

#include <algorithm>

#include "platform/PosixFile.h"

#include "platform/Detached.h"
#include "platform/ProcessTable.h"

#include <csignal>
#include <thread>

namespace {

using Targets = QList<ProcessTable::Entry>;
constexpr auto kGrace = std::chrono::milliseconds(5000);
constexpr auto kLateChild = std::chrono::milliseconds(200);

void killSurvivors(const Targets& targets) {
    for (const ProcessTable::Entry& e : targets)
        if (ProcessTable::alive(e)) ::kill(e.pid, SIGKILL);
}

bool anyAlive(const Targets& targets) {
    return std::any_of(targets.cbegin(), targets.cend(), ProcessTable::alive);
}

bool groupAlive(pid_t group) {
    const QList<ProcessTable::Entry> table = ProcessTable::entries();
    return std::any_of(table.cbegin(), table.cend(), [group](const ProcessTable::Entry& e) {
        return e.pgrp == group && !e.zombie();
    });
}

// The script first, then its descendants, then the members of its process group
// that lost their parent (an orphan holding the output pipe keeps the group),
// then whatever else carries the run's mark (a daemon in a session of its own).
Targets targetsOf(pid_t script, const QByteArray& marker) {
    const QList<ProcessTable::Entry> table = ProcessTable::entries();
    Targets targets;
    const auto add = [&targets](const ProcessTable::Entry& e) {
        const bool listed =
            std::any_of(targets.cbegin(), targets.cend(),
                        [&](const ProcessTable::Entry& t) { return t.pid == e.pid; });
        if (!listed && !e.zombie()) targets.append(e);
    };
    for (const ProcessTable::Entry& e : table)
        if (e.pid == script) add(e);
    for (const ProcessTable::Entry& e : ProcessTable::descendants(script, table))
        add(e);
    for (const ProcessTable::Entry& e : table)
        if (e.pgrp == script) add(e);
    for (const ProcessTable::Entry& e : ProcessTable::carrying(marker, table))
        add(e);
    return targets;
}

} // namespace

bool TaskRunner::earlierRunAlive(const QString& safeName, const QString& logsFolder) {
    const QByteArray task = QByteArray(kTaskMarker) + '=' + safeName.toUtf8();
    const QByteArray logs = QByteArray(kLogsMarker) + '=' + PosixFile::encodePath(logsFolder);
    const QList<ProcessTable::Entry> marked =
        ProcessTable::carrying(logs, ProcessTable::carrying(task, ProcessTable::entries()));
    // Only the run's script itself, bash leading the process group the runner
    // made: an agent or daemon the script left (gpg-agent, an ssh master, a
    // FUSE daemon) carries the marks too, but must never hold the task.
    return std::any_of(marked.cbegin(), marked.cend(), [](const ProcessTable::Entry& e) {
        return e.pgrp == e.pid &&
               ProcessTable::parseProgram(ProcessTable::rawCommandLine(e.pid)) == u"/bin/bash";
    });
}

QList<pid_t> TaskRunner::descendants(pid_t pid) {
    QList<pid_t> out;
    for (const ProcessTable::Entry& e : ProcessTable::descendants(pid, ProcessTable::entries()))
        out.append(e.pid);
    return out;
}

bool TaskRunner::signalGroup(pid_t script, int signal) {
    // While the script is not reaped its id cannot name another group.
    const std::lock_guard lock(lock_);
    return process_ == script && ::kill(-script, signal) == 0;
}

void TaskRunner::cancel(bool wait, const QString& reason) {
    pid_t script;
    {
        const std::lock_guard lock(lock_);
        cancelled_ = true;
        cancelReason_ = reason;
        script = process_;
    }
    qint64 notYet = 0;
    cancelledAtMs_.compare_exchange_strong(notYet, steadyMs());
    if (!script) return;
    const Targets targets = targetsOf(script, marker());
    for (const ProcessTable::Entry& e : targets)
        ::kill(e.pid, SIGTERM);
    // The group also reaches a child forked after the list was read.
    signalGroup(script, SIGTERM);
    if (!wait) {
        // Without a thread the SIGKILL follow-up is lost, never the stop itself.
        startDetached([targets, script, weak = weak_from_this()] {
            std::this_thread::sleep_for(kLateChild);
            if (auto self = weak.lock()) self->signalGroup(script, SIGTERM);
            std::this_thread::sleep_for(kGrace - kLateChild);
            killSurvivors(targets);
            if (auto self = weak.lock()) self->signalGroup(script, SIGKILL);
        });
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + kGrace;
    bool resent = false;
    while (std::chrono::steady_clock::now() < deadline &&
           (anyAlive(targets) || groupAlive(script))) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!std::exchange(resent, true)) signalGroup(script, SIGTERM);
    }
    killSurvivors(targets);
    signalGroup(script, SIGKILL);
}
