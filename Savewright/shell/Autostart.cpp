#include "Autostart.h"

#include "config/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace Autostart {

namespace {

// An argument as the Exec key takes it: quoted when it holds a reserved character.
QString quoted(const QString& argument) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`%");
    const bool plain =
        !argument.isEmpty() && std::none_of(argument.cbegin(), argument.cend(),
                                            [](QChar c) { return reserved.contains(c); });
    if (plain) return argument;
    QString out = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') out += u'\\';
        out += c;
    }
    out += u'"';
    // The Exec key's own escape comes on top of the desktop entry's string escape.
    return out.replace(QStringLiteral("\\"), QStringLiteral("\\\\"))
        .replace(u'%', QStringLiteral("%%"));
}

} // namespace

QString path() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/org.savewright.Savewright.desktop");
}

bool enabled() {
    return QFileInfo::exists(path());
}

QString entry(const QString& program, const QStringList& arguments) {
    QStringList exec{quoted(program)};
    for (const QString& a : arguments)
        exec.append(quoted(a));
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Savewright\n"
                          "Comment=Runs your backup scripts on schedule\n"
                          "Comment[de]=Führt deine Backup-Skripte nach Plan aus\n"
                          "Exec=%1\n"
                          "Icon=savewright\n"
                          "Terminal=false\n"
                          "NoDisplay=true\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(exec.join(u' '));
}

bool setEnabled(bool on, const QString& program, const QStringList& arguments) {
    if (!on) return !QFileInfo::exists(path()) || QFile::remove(path());
    if (!QDir().mkpath(QFileInfo(path()).path())) return false;
    QSaveFile file(path());
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(entry(program, arguments).toUtf8());
    return file.commit();
}

QStringList rootsOf(const QStringList& arguments) {
    QStringList out;
    for (const QString& option : {QStringLiteral("--repo"), QStringLiteral("--support")})
        if (const auto value = CommandLine::value(arguments, option))
            out << option << CommandLine::absolute(*value);
    return out;
}

} // namespace Autostart
