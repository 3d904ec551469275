#include "InstanceGuards.h"

#include "config/Paths.h"
#include "platform/ProcessTable.h"

#include <QDir>
#include <QFileInfo>

#include <unistd.h>

namespace {

// The whole program path: "/opt/My Apps/savewright" is a copy too.
bool isSavewright(const QString& program) {
    return program.endsWith(u"/savewright") || program == u"savewright";
}

// Its --support taken from its own folder, or the default its environment gives.
QString supportFolderOf(pid_t pid, const QStringList& arguments) {
    if (const auto support = CommandLine::value(arguments, QStringLiteral("--support"))) {
        if (QDir::isAbsolutePath(*support)) return *support;
        const QString folder = ProcessTable::workingFolder(pid);
        return folder.isEmpty() ? QString() : folder + u'/' + *support;
    }
    const QByteArray environ = ProcessTable::environment(pid);
    const QString home = ProcessTable::environmentValue(environ, "HOME");
    if (home.isEmpty()) return {};
    return Paths::defaultAppSupportFor(home,
                                       ProcessTable::environmentValue(environ, "XDG_DATA_HOME"));
}

QString sameFolderForm(const QString& folder) {
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(folder) : canonical;
}

} // namespace

namespace InstanceGuards {

QList<ProcessEntry> processes() {
    QList<ProcessEntry> out;
    for (const ProcessTable::Entry& e : ProcessTable::entries()) {
        const QByteArray raw = ProcessTable::rawCommandLine(e.pid);
        const QString command = ProcessTable::parseCommandLine(raw);
        if (command.isEmpty()) continue;
        ProcessEntry p{e.pid,
                       command,
                       ProcessTable::parseProgram(raw),
                       ProcessTable::parseArguments(raw),
                       std::nullopt,
                       {}};
        // Owner and folder are looked up for copies of this program only.
        if (isSavewright(p.program)) {
            p.uid = ProcessTable::owner(e.pid);
            p.supportFolder = supportFolderOf(e.pid, p.arguments);
        }
        out.append(p);
    }
    return out;
}

bool otherWorkingCopyRunning(const QList<ProcessEntry>& table, pid_t self, uid_t user,
                             const QString& supportFolder) {
    const QString ours = sameFolderForm(supportFolder);
    return std::any_of(table.cbegin(), table.cend(), [&](const ProcessEntry& p) {
        // Another person's copy, a status poller or a copy with its own
        // configuration runs other backups, or none.
        return p.pid != self && isSavewright(p.program) && p.uid == user &&
               CommandLine::startsWorkingCopy(p.arguments) && !p.supportFolder.isEmpty() &&
               sameFolderForm(p.supportFolder) == ours;
    });
}

bool otherWorkingCopyRunning(const QString& supportFolder) {
    return otherWorkingCopyRunning(processes(), ::getpid(), ::getuid(), supportFolder);
}

bool pythonShellRunning(const QList<ProcessEntry>& table) {
    return std::any_of(table.cbegin(), table.cend(), [](const ProcessEntry& p) {
        return p.command.toLower().contains(u"python") && p.command.endsWith(u"/run.py");
    });
}

bool pythonShellRunning() {
    return pythonShellRunning(processes());
}

} // namespace InstanceGuards
