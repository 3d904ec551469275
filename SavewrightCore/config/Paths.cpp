#include "Paths.h"

#include "AppConfig.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace CommandLine {

std::optional<QString> value(const QStringList& arguments, const QString& option) {
    const qsizetype i = arguments.indexOf(option);
    if (i < 0 || i + 1 >= arguments.size()) return std::nullopt;
    return arguments[i + 1];
}

bool has(const QStringList& arguments, const QString& flag) {
    return arguments.contains(flag);
}

// Made absolute as given: "a/link/.." names the link's parent, which only the
// file system knows, so nothing is cleaned lexically.
QString absolute(const QString& path) {
    return QDir::isAbsolutePath(path) ? path : QDir::currentPath() + u'/' + path;
}

} // namespace CommandLine

const QString& Paths::defaultAppSupport() {
    static const QString path =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
        QStringLiteral("/Ferrymat");
    return path;
}

const QString& Paths::defaultRepo() {
    static const QString path = QDir::homePath() + QStringLiteral("/Savewright");
    return path;
}

namespace {

// A folder whose scripts may run: owned by the user (or root) and writable by
// nobody else. A "Scripts" below /tmp is anybody's to create.
bool trusted(const QString& folder) {
    struct stat st {};
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    const bool owner = st.st_uid == ::geteuid() || st.st_uid == 0;
    return owner && !(st.st_mode & S_IWOTH);
}

} // namespace

QString Paths::expandHome(const QString& path) {
    if (path == u"~") return QDir::homePath();
    if (path.startsWith(u"~/")) return QDir::homePath() + path.mid(1);
    return path;
}

Paths Paths::resolve(const QStringList& arguments, const QString& executable) {
    auto support = CommandLine::value(arguments, QStringLiteral("--support"));
    const QString appSupport = support ? CommandLine::absolute(*support) : defaultAppSupport();
    return Paths(resolveRepo(arguments, executable, appSupport), appSupport);
}

std::optional<QString> Paths::configuredRepo(const QString& appSupport) {
    try {
        const QString repo = AppConfig::load(appSupport + QStringLiteral("/config.toml")).repo;
        // A relative path is taken from the folder the file lies in.
        if (!repo.isEmpty()) return QDir(appSupport).absoluteFilePath(repo);
    } catch (const ConfigError&) {
        // An unreadable file is reported by the engine's own load.
    }
    return std::nullopt;
}

QString Paths::resolveRepo(const QStringList& arguments, const QString& executable,
                           const QString& appSupport) {
    if (auto repo = CommandLine::value(arguments, QStringLiteral("--repo")))
        return CommandLine::absolute(*repo);
    if (auto repo = configuredRepo(appSupport)) return *repo;
    QString program = CommandLine::absolute(executable);
    const QString resolved = QFileInfo(program).canonicalFilePath();
    if (!resolved.isEmpty()) program = resolved;
    QString folder = QFileInfo(program).path();
    while (folder != u"/" && !folder.isEmpty()) {
        if (trusted(folder) && trusted(folder + QStringLiteral("/Scripts"))) return folder;
        const QString parent = QFileInfo(folder).path();
        if (parent == folder) break;
        folder = parent;
    }
    return defaultRepo();
}
