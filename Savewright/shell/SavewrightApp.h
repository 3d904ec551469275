#pragma once
// The program's start: the mirror-script, snapshot, observe-only and normal
// modes, the tray icon with its panel, and a clean shutdown on SIGTERM, SIGINT
// or quit.

#include <QStringList>

namespace SavewrightApp {
int run(int argc, char** argv);
// The mirror script's exit status, or 127 when bash cannot be started.
int runMirrorScript(const QStringList& arguments);
} // namespace SavewrightApp
