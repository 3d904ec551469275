#pragma once
// The companions of a run, each a `tail --pid` of the application that ends by
// itself when the application dies. The sleep guard keeps the machine awake
// while a run lasts (systemd-inhibit; without it there is no guard, and never
// an error). The keeper's last act, should the application die, is to stop
// what the run left behind.

#include <QByteArray>
#include <QString>

#include <sys/types.h>

namespace SleepGuard {

// The guard's process id, or 0 when there is none.
pid_t start(const QString& why);
// Ends the guard and everything it started, and reaps it.
void stop(pid_t guard);

// Once the application is gone: SIGTERM, and 5 s later SIGKILL, to the script's
// process group and to every process whose environment holds `marker`. Its
// process id, or 0 when it could not start.
pid_t startKeeper(const QByteArray& marker, pid_t scriptGroup);
// Ends a keeper before it acts, and reaps it.
void stopKeeper(pid_t keeper);

} // namespace SleepGuard
