#include "ProgramEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

QProcessEnvironment programEnvironment() {
    // One per test process; ctest runs every test in a process of its own.
    static QTemporaryDir root;
    const QString home = root.path() + QStringLiteral("/home");
    const QString runtime = root.path() + QStringLiteral("/runtime");
    for (const QString& dir :
         {home + QStringLiteral("/.config"), home + QStringLiteral("/.local/share"),
          home + QStringLiteral("/.local/state"), home + QStringLiteral("/.cache"), runtime})
        QDir().mkpath(dir);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_STATE_HOME"), home + QStringLiteral("/.local/state"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    // Notifications and trays of the machine's own desktop stay out of reach.
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               QStringLiteral("unix:path=") + runtime + QStringLiteral("/no-bus"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // The texts the tests compare are German: the program's own under the C locale.
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    return env;
}
