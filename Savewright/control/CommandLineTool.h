#pragma once
// The commands a shell, a status bar or a monitoring check types: status of
// every task, and starting, stopping and pausing in the running copy over the
// session bus. Needs no display.

#include "config/AppConfig.h"
#include "config/Paths.h"

#include <QStringList>

#include <cstdio>
#include <optional>

namespace CommandLineTool {

constexpr int kUsageError = 2;

// Runs a command that CommandLine::parse found.
int run(int argc, char** argv, const QString& command);
void print(FILE* to, const QString& text);
// The tasks of config.toml; absent, and the reason said on standard error, when
// it cannot be read.
std::optional<QList<TaskConfig>> configuredTasks(const Paths& paths);
// Asks a running copy to show its panel; says on standard error when it
// cannot (it runs without a display).
void showRunningPanel();

} // namespace CommandLineTool
