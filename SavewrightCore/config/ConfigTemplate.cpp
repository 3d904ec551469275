#include "ConfigTemplate.h"

#include "platform/Mounts.h"
#include "platform/PosixFile.h"

#include <QDir>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

namespace ConfigTemplate {

QByteArray text() {
    // The share folder as gio mount names it for this user.
    QByteArray t = R"(# Savewright: Tasks und Einstellungen.
# Nach dem Speichern liest Savewright die Datei von selbst neu ein.
# Jeder Task ruft ein bash-Skript aus dem Ordner Scripts/ des Repositorys auf.

[general]
# Wo Scripts/ und logs/ liegen ("~" ist der Persönliche Ordner):
# repo = "~/Savewright"
# poll_interval_seconds = 30
# notify = true

# Alle 60 Minuten:
# [[task]]
# name = "Dokumente"
# type = "scheduled"
# script = "dokumente.sh"
# interval_minutes = 60
# group = "Lokal"

# Sobald die Freigabe eingehängt ist, höchstens alle 24 Stunden. gio mount
# hängt smb://nas/fotos unter @GVFS@/smb-share:server=nas,share=fotos ein;
# für einen Eintrag in /etc/fstab mit der Option "user": mount_url = "fstab".
# [[task]]
# name = "Fotos"
# type = "on_mount"
# script = "fotos.sh"
# watch_volumes = ["@GVFS@/smb-share:server=nas,share=fotos"]
# mount_url = "smb://nas/fotos"
# interval_hours = 24

# Jede Woche im Zwei-Stunden-Fenster um Sonntag 03:00:
# [[task]]
# name = "Wochenarchiv"
# type = "weekly"
# script = "archiv.sh"
# day = "sunday"
# time = "03:00"
# catch_up = true

# Läuft anderswo (etwa per cron); Savewright liest nur seine Logs:
# [[task]]
# name = "Server"
# type = "external"
# script = "server.sh"
)";
    return t.replace("@GVFS@", Mounts::gvfsRoot().toUtf8());
}

int create(const QString& path) {
    if (!QDir().mkpath(QFileInfo(path).path())) return EACCES;
    PosixFile::UniqueFd fd(::open(PosixFile::encodePath(path).constData(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!fd) return errno;
    const bool written = PosixFile::writeAll(fd.get(), text());
    const int error = written ? 0 : errno;
    if (!fd.reset() || !written) return error ? error : EIO;
    return 0;
}

} // namespace ConfigTemplate
