#pragma once
// The commands a shell, a status bar or a monitoring check types: status of
// every task, and starting, stopping and pausing in the running copy over the
// session bus. Needs no display.

#include <QStringList>

#include <optional>

namespace CommandLineTool {

constexpr int kUsageError = 2;

// Runs a command that CommandLine::parse found.
int run(int argc, char** argv, const QString& command);
// Asks a running copy to show its panel; says on standard error when it
// cannot (it runs without a display).
void showRunningPanel();

} // namespace CommandLineTool
