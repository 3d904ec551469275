#include "ConfigTemplate.h"

#include "base/Language.h"
#include "platform/Mounts.h"
#include "platform/PosixFile.h"

#include <QDir>
#include <QFileInfo>

namespace ConfigTemplate {

QByteArray text() {
    // The share folder as gio mount names it for this user.
    QByteArray t =
        Language::translate(
            "ConfigTemplate",
            "# Savewright: Tasks und Einstellungen.\n"
            "# Nach dem Speichern liest Savewright die Datei von selbst neu ein.\n"
            "# Jeder Task ruft ein bash-Skript aus dem Ordner Scripts/ des Repositorys auf.\n"
            "\n"
            "[general]\n"
            "# Wo Scripts/ und logs/ liegen (\"~\" ist der Persönliche Ordner):\n"
            "# repo = \"~/Savewright\"\n"
            "# poll_interval_seconds = 30\n"
            "# notify = true\n"
            "# Sprache der Anzeige, \"de\" oder \"en\"; sonst wie die Umgebung (LANG):\n"
            "# language = \"de\"\n"
            "\n"
            "# Alle 60 Minuten:\n"
            "# [[task]]\n"
            "# name = \"Dokumente\"\n"
            "# type = \"scheduled\"\n"
            "# script = \"dokumente.sh\"\n"
            "# interval_minutes = 60\n"
            "# group = \"Lokal\"\n"
            "\n"
            "# Sobald die Freigabe eingehängt ist, höchstens alle 24 Stunden. gio mount\n"
            "# hängt smb://nas/fotos unter @GVFS@/smb-share:server=nas,share=fotos ein;\n"
            "# für einen Eintrag in /etc/fstab mit der Option \"user\": mount_url = \"fstab\".\n"
            "# [[task]]\n"
            "# name = \"Fotos\"\n"
            "# type = \"on_mount\"\n"
            "# script = \"fotos.sh\"\n"
            "# watch_volumes = [\"@GVFS@/smb-share:server=nas,share=fotos\"]\n"
            "# mount_url = \"smb://nas/fotos\"\n"
            "# interval_hours = 24\n"
            "\n"
            "# Jede Woche im Zwei-Stunden-Fenster um Sonntag 03:00:\n"
            "# [[task]]\n"
            "# name = \"Wochenarchiv\"\n"
            "# type = \"weekly\"\n"
            "# script = \"archiv.sh\"\n"
            "# day = \"sunday\"\n"
            "# time = \"03:00\"\n"
            "# catch_up = true\n"
            "\n"
            "# Läuft anderswo (etwa per cron); Savewright liest nur seine Logs:\n"
            "# [[task]]\n"
            "# name = \"Server\"\n"
            "# type = \"external\"\n"
            "# script = \"server.sh\"\n")
            .toUtf8();
    return t.replace("@GVFS@", Mounts::gvfsRoot().toUtf8());
}

int create(const QString& path) {
    if (!QDir().mkpath(QFileInfo(path).path())) return EACCES;
    // Whole or not at all: a half template would be a broken config.toml.
    PosixFile::Created made = PosixFile::createWith(path, text());
    if (made.error) return made.error;
    return made.fd.reset() ? 0 : (errno ? errno : EIO);
}

} // namespace ConfigTemplate
