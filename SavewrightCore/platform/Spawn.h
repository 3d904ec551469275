#pragma once
// Starting a child without a shell, with exact control of its descriptors.

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <sys/types.h>
#include <utility>

namespace Spawn {

struct Options {
    QByteArray program;          // absolute path
    QList<QByteArray> arguments; // without the program
    QByteArray workingDirectory; // empty: inherited
    int stdinFd = -1;            // -1: the null device
    int stdoutFd = -1;           // -1: the null device
    int stderrFd = -1;           // -1: the null device
    int fd3 = -1;                // >= 0: handed to the child as descriptor 3
    bool newProcessGroup = false;
    QList<QByteArray> environment; // empty: inherited
    // The child and all it starts at this niceness and, when set, in the idle
    // (true) or best-effort I/O class; the caller's own thread stays as it is.
    std::optional<int> nice;
    std::optional<bool> ioIdle;
};

struct Started {
    pid_t pid = 0;
    int error = 0; // errno when the start failed
};

// The child gets descriptors 0, 1, 2 (and 3 when asked) only, whatever else
// the program has open.
Started start(const Options& options);

// The process's environment with these variables set.
QList<QByteArray> environmentWith(const QList<std::pair<QByteArray, QByteArray>>& variables);

// Waits for the child to end and reaps it; the exit status, or the signal number
// for a child ended by a signal.
int reap(pid_t pid);
// The same without waiting: nothing while the child still runs.
std::optional<int> reapIfEnded(pid_t pid);

// Starts the child and reaps it on a thread of its own, for children nobody
// waits for (mounts). False when it could not be started.
bool startUnwaited(const Options& options);

struct Finished {
    bool piped = true; // false: no pipe for standard error (out of descriptors)
    bool started = false;
    int status = -1;      // as reap()
    QByteArray errorTail; // the last bytes the child wrote to standard error
};
// Runs the child to its end on this thread, its standard error read to the end
// with only the last `keep` bytes kept, and reaps it.
Finished runToEnd(Options options, qsizetype keep);

} // namespace Spawn
