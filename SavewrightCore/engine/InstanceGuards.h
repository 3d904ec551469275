#pragma once
// Whether the program may work here: another working copy of the same person
// with the same support folder, or the older script shell, in the process table.

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

#include <sys/types.h>

struct ProcessEntry {
    pid_t pid = 0;
    QString command;          // program path and arguments, blank-separated
    QString program;          // the program path alone, as started (may hold blanks)
    QStringList arguments;    // as started, the program first
    std::optional<uid_t> uid; // for copies of this program: whose process it is
    QString supportFolder;    // ... and the support folder it uses
};

namespace InstanceGuards {

QList<ProcessEntry> processes();
// Another working copy of the same user with the same support folder.
bool otherWorkingCopyRunning(const QList<ProcessEntry>& table, pid_t self, uid_t user,
                             const QString& supportFolder);
bool otherWorkingCopyRunning(const QString& supportFolder);
bool pythonShellRunning(const QList<ProcessEntry>& table);
bool pythonShellRunning();

} // namespace InstanceGuards
