#include "Paths.h"

#include "AppConfig.h"
#include "base/Language.h"
#include "platform/PosixFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

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

namespace {

const QStringList kWithValue{QStringLiteral("--repo"), QStringLiteral("--support"),
                             QStringLiteral("--snapshot"), QStringLiteral("--wait")};
const QStringList kFlags{QStringLiteral("--observe"), QStringLiteral("--dark"),
                         QStringLiteral("--expand"), QStringLiteral("--run-spiegel"),
                         QStringLiteral("--headless")};
// Qt's own options, which desktops and session managers pass (-session on restore).
const QStringList kQtWithValue{QStringLiteral("-platform"),       QStringLiteral("-platformtheme"),
                               QStringLiteral("-style"),          QStringLiteral("-session"),
                               QStringLiteral("-display"),        QStringLiteral("-name"),
                               QStringLiteral("-geometry"),       QStringLiteral("-title"),
                               QStringLiteral("-qwindowgeometry")};
const QStringList kTaskCommands{QStringLiteral("run"), QStringLiteral("dry-run"),
                                QStringLiteral("stop"), QStringLiteral("history"),
                                QStringLiteral("log")};
const QStringList kPlainCommands{QStringLiteral("status"), QStringLiteral("pause"),
                                 QStringLiteral("resume"), QStringLiteral("show"),
                                 QStringLiteral("tasks")};
const QStringList kStatusOptions{QStringLiteral("--json"), QStringLiteral("--line")};
const QStringList kHistoryOptions{QStringLiteral("--json"), QStringLiteral("--limit")};
const QStringList kLogOptions{QStringLiteral("--follow")};

Parsed refused(const QString& text) {
    Parsed p;
    p.error = text + Language::translate(
                         "Paths", "\n„savewright --help“ zeigt alle Befehle und Optionen.\n");
    return p;
}

} // namespace

Parsed parse(const QStringList& arguments) {
    for (const QString& a : arguments.mid(1))
        if (a == u"--help" || a == u"-h" || a == u"--version")
            return {a == u"--version" ? a : QStringLiteral("--help"), {}, {}};
    Parsed out;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (kWithValue.contains(a) || kQtWithValue.contains(a)) {
            ++i; // its value, whatever it is; a trailing one has none
        } else if (kFlags.contains(a) || a == u"-reverse") {
        } else if (!out.command && (kPlainCommands.contains(a) || kTaskCommands.contains(a))) {
            out.command = a;
            if (!kTaskCommands.contains(a)) continue;
            if (i + 1 >= arguments.size() || arguments[i + 1].startsWith(u"--"))
                return refused(
                    Language::translate("Paths", "„%1“ braucht den Namen eines Tasks.").arg(a));
            out.task = arguments[++i];
        } else if (out.command == u"status" && kStatusOptions.contains(a)) {
        } else if (out.command == u"history" && a == u"--limit") {
            bool ok = false;
            if (arguments.value(++i).toInt(&ok) < 1 || !ok)
                return refused(Language::translate("Paths", "„--limit“ braucht eine Zahl ab 1."));
        } else if ((out.command == u"history" && kHistoryOptions.contains(a)) ||
                   (out.command == u"log" && kLogOptions.contains(a))) {
        } else if (a.startsWith(u'-')) {
            return refused(Language::translate("Paths", "Unbekannte Option „%1“.").arg(a));
        } else if (out.command) {
            return refused(Language::translate("Paths", "Zu viele Angaben: „%1“.").arg(a));
        } else {
            return refused(Language::translate("Paths", "Unbekannter Befehl „%1“.").arg(a));
        }
    }
    return out;
}

QStringList knownWords() {
    return kWithValue + kFlags + kTaskCommands + kPlainCommands + kStatusOptions +
           QStringList{QStringLiteral("--limit")} + kLogOptions +
           QStringList{QStringLiteral("--help"), QStringLiteral("-h"), QStringLiteral("--version")};
}

bool startsWorkingCopy(const QStringList& arguments) {
    const Parsed p = parse(arguments);
    if (p.command || !p.error.isEmpty()) return false;
    // Substrings anywhere, as copies have always told each other apart.
    const QString line = arguments.join(u' ');
    return !line.contains(u"--observe") && !line.contains(u"--snapshot") &&
           !line.contains(u"--run-spiegel");
}

} // namespace CommandLine

QString Paths::defaultAppSupportFor(const QString& home, const QString& xdgDataHome) {
    const QString data =
        QDir::isAbsolutePath(xdgDataHome) ? xdgDataHome : home + QStringLiteral("/.local/share");
    return data + QStringLiteral("/Ferrymat");
}

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
    const auto access = PosixFile::folderAccess(folder);
    return access && (access->owner == ::geteuid() || access->owner == 0) && !access->othersWrite;
}

} // namespace

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
