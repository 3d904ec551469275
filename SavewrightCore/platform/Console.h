#pragma once
// The program's lines on standard output, for whoever watches it (a terminal,
// the journal); a command that prints its own output keeps it clean.

#include <QString>

namespace Console {

// One line, flushed at once.
void say(const QString& line);
// Whether say() writes at all (it does unless a command turned it off).
void setQuiet(bool quiet);

} // namespace Console
