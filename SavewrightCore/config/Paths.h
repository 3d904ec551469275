#pragma once
// The two root folders (script repository and support folder), the locations
// below them, and the command-line lookup rules.

#include <QString>
#include <QStringList>

#include <optional>

struct Paths {
    QString repo;       // absolute path of the script repository
    QString appSupport; // absolute path of the support folder

    Paths() = default;
    Paths(QString repo_, QString appSupport_)
        : repo(std::move(repo_)), appSupport(std::move(appSupport_)) {}

    QString scripts() const { return repo + QStringLiteral("/Scripts"); }
    QString logs() const { return repo + QStringLiteral("/logs"); }
    QString configFile() const { return appSupport + QStringLiteral("/config.toml"); }

    static const QString& defaultAppSupport();
    // The default support folder a process with this environment uses.
    static QString defaultAppSupportFor(const QString& home, const QString& xdgDataHome);
    static const QString& defaultRepo();

    // `arguments` includes the program path at index 0; `executable` is that path.
    static Paths resolve(const QStringList& arguments, const QString& executable);
    // --repo, else `[general] repo` of the support folder's config.toml, else
    // the nearest trusted folder above the program with a Scripts folder, else
    // the default.
    static QString resolveRepo(const QStringList& arguments, const QString& executable,
                               const QString& appSupport = defaultAppSupport());
    static std::optional<QString> configuredRepo(const QString& appSupport);

    friend bool operator==(const Paths&, const Paths&) = default;
};

namespace CommandLine {
// The value after the first occurrence of `option`; absent when it is missing or last.
std::optional<QString> value(const QStringList& arguments, const QString& option);
bool has(const QStringList& arguments, const QString& flag);
// A file path made absolute against the current folder.
QString absolute(const QString& path);

// What a whole command line asks for: a command ("status", "run", …, or
// "--help", "--version"), none for the tray program, or a usage error.
struct Parsed {
    std::optional<QString> command;
    QString task;  // the task a "run", "dry-run" or "stop" names
    QString error; // German, naming the word; empty when the line is understood
};
Parsed parse(const QStringList& arguments);
// Every option and command word the program knows (for its manual and help).
QStringList knownWords();
// A copy started with these arguments runs tasks: no command, no error, and
// none of the modes that only look ("--observe", "--snapshot", "--run-spiegel").
bool startsWorkingCopy(const QStringList& arguments);
} // namespace CommandLine
