#pragma once
// `savewright history NAME` and `savewright log NAME [--follow]`: what a task's
// logs say, read from the logs themselves, with or without a running copy.

#include "config/Paths.h"

#include <QStringList>

namespace LogCommands {

// Exit code when the task is unknown, has no log yet or config.toml is unreadable.
constexpr int kNoSuchLog = 3;

int history(const QStringList& arguments, const Paths& paths, const QString& task);
// Prints the newest log; following, until its run ends, then exits 0 for a
// success, 1 for a failure, 2 for a stop.
int log(const QStringList& arguments, const Paths& paths, const QString& task);

} // namespace LogCommands
