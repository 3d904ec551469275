#pragma once
// Keeps the machine from sleeping while a run lasts. On Linux: systemd-inhibit
// holding a lock for a `tail --pid` that ends by itself when the application
// dies. Without systemd-inhibit there is no guard, and never an error.

#include <QString>

#include <sys/types.h>

namespace SleepGuard {

// The guard's process id, or 0 when there is none.
pid_t start(const QString& why);
// Ends the guard and everything it started, and reaps it.
void stop(pid_t guard);

} // namespace SleepGuard
