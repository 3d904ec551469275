#pragma once
// The process table from /proc: ids, parents, groups, start times and command lines.

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <sys/types.h>

namespace ProcessTable {

struct Entry {
    pid_t pid = 0;
    pid_t ppid = 0;
    pid_t pgrp = 0;
    char state = '?';
    qint64 startTime = 0; // clock ticks after boot; tells a reused id apart
    bool zombie() const { return state == 'Z' || state == 'X'; }
};

// One /proc/<pid>/stat line; the command name may hold blanks and parentheses.
std::optional<Entry> parseStat(QByteArrayView line);
// One /proc/<pid>/cmdline: NUL-separated arguments shown as one blank-separated line.
QString parseCommandLine(QByteArrayView raw);
// The program path as started (argv[0]), blanks and all.
QString parseProgram(QByteArrayView raw);
// Every argument as started, the program first.
QStringList parseArguments(QByteArrayView raw);
// The raw NUL-separated /proc/<pid>/cmdline.
QByteArray rawCommandLine(pid_t pid);
// The user a process runs as; absent when it is gone.
std::optional<uid_t> owner(pid_t pid);
// Its current folder; empty when it cannot be read (another user's).
QString workingFolder(pid_t pid);
// Its NUL-separated environment; empty when it cannot be read.
QByteArray environment(pid_t pid);
// The value of `name` in such an environment; empty when absent.
QString environmentValue(QByteArrayView environ, QByteArrayView name);

std::optional<Entry> entry(pid_t pid);
// Every process, in ascending id order; empty when /proc cannot be read.
QList<Entry> entries();
QString commandLine(pid_t pid);

// All descendants of `root` in the walk order: children in table order, then the
// descendants of the last-found child first (a stack), never `root` itself.
QList<Entry> descendants(pid_t root, const QList<Entry>& table);

// Whether a NUL-separated environment (/proc/<pid>/environ) holds `entry`
// ("NAME=value") exactly.
bool environmentHolds(QByteArrayView environ, QByteArrayView entry);
// The live processes (of the user's, whose environment is readable) whose
// environment holds `entry`: what a run marked, wherever its processes went.
QList<Entry> carrying(QByteArrayView entry, const QList<Entry>& table);

// Still the same live process (not ended, not a zombie, id not reused).
bool alive(const Entry& e);

} // namespace ProcessTable
