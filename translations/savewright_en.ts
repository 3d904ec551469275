<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="de">
<context>
    <name>AppConfig</name>
    <message>
        <source>watch_volumes muss eine Liste sein, z. B. [&quot;/mnt/nas&quot;]: der Task startet nicht, bis das behoben ist</source>
        <translation>watch_volumes must be a list, e.g. [&quot;/mnt/nas&quot;]: the task does not start until this is fixed</translation>
    </message>
    <message>
        <source>Zeilenende CR LF: bitte als LF speichern</source>
        <translation>CR LF line endings: please save with LF</translation>
    </message>
    <message>
        <source>Task „%1“: name und script dürfen nicht leer sein</source>
        <translation>Task “%1”: name and script must not be empty</translation>
    </message>
    <message>
        <source>Task „%1“: script „%2“ liegt nicht im Ordner Scripts</source>
        <translation>Task “%1”: script “%2” is not in the Scripts folder</translation>
    </message>
    <message>
        <source>Task „%1“: name darf kein „/“, keinen Zeilenumbruch und kein Nullzeichen enthalten</source>
        <translation>Task “%1”: name must not contain “/”, a line break or a null character</translation>
    </message>
    <message>
        <source>Task „%1“: script darf keinen Zeilenumbruch und kein Nullzeichen enthalten</source>
        <translation>Task “%1”: script must not contain a line break or a null character</translation>
    </message>
    <message>
        <source>Task „%1“: name und script zusammen länger als %2 Bytes</source>
        <translation>Task “%1”: name and script together are longer than %2 bytes</translation>
    </message>
    <message>
        <source>Task %1: name, type und script sind Pflicht</source>
        <translation>Task %1: name, type and script are required</translation>
    </message>
    <message>
        <source>Task „%1“: unbekannter type „%2“</source>
        <translation>Task “%1”: unknown type “%2”</translation>
    </message>
    <message>
        <source>Task „%1“: ping_url muss mit http:// oder https:// beginnen</source>
        <translation>Task “%1”: ping_url must start with http:// or https://</translation>
    </message>
    <message>
        <source>„%1“ nicht lesbar: %2</source>
        <translation>“%1” cannot be read: %2</translation>
    </message>
    <message>
        <source>„%1“ ist kein gültiger UTF-8-Text</source>
        <translation>“%1” is not valid UTF-8 text</translation>
    </message>
</context>
<context>
    <name>Attention</name>
    <message>
        <source>letzte erfolgreiche Sicherung %1</source>
        <translation>last successful backup %1</translation>
    </message>
    <message>
        <source>%1 Sek.</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 Min.</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source>%1: wieder ok</source>
        <translation>%1: ok again</translation>
    </message>
    <message>
        <source>Sicherung erfolgreich</source>
        <translation>Backup succeeded</translation>
    </message>
    <message>
        <source>%1: Fehler</source>
        <translation>%1: failed</translation>
    </message>
    <message>
        <source>Fehler</source>
        <translation>Failed</translation>
    </message>
    <message>
        <source>%1: überfällig – zurückgestellt: %2</source>
        <translation>%1: overdue – held back: %2</translation>
    </message>
    <message>
        <source>%1: überfällig</source>
        <translation>%1: overdue</translation>
    </message>
    <message>
        <source>noch nie</source>
        <translation>never yet</translation>
    </message>
    <message>
        <source>%1 läuft seit %2</source>
        <translation>%1 has been running for %2</translation>
    </message>
    <message>
        <source>länger als %1 Min.</source>
        <translation>longer than %1 min</translation>
    </message>
    <message>
        <source>%1: wartet auf einen früheren Lauf</source>
        <translation>%1: waiting for an earlier run</translation>
    </message>
    <message>
        <source>Ein früherer Lauf läuft noch, seit dem ersten Startversuch %1</source>
        <translation>An earlier run is still going, since the first attempt to start %1</translation>
    </message>
    <message>
        <source>Einstellungen nicht speicherbar: </source>
        <translation>Settings cannot be saved: </translation>
    </message>
    <message>
        <source> (Gemeldetes wird nach einem Neustart erneut gemeldet)</source>
        <translation> (notices will be shown again after a restart)</translation>
    </message>
    <message numerus="yes">
        <source>%n Tasks brauchen Aufmerksamkeit</source>
        <translation>
            <numerusform>%n task needs attention</numerusform>
            <numerusform>%n tasks need attention</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>CommandLineTool</name>
    <message>
        <source>Aufruf: savewright [--repo ORDNER] [--support ORDNER] [BEFEHL]

Ohne Befehl läuft Savewright im Infobereich und startet die Tasks nach Plan.

Befehle:
  status [--json | --line]  Zustand aller Tasks; Rückgabewert 0: alle ok,
                            1: eine Warnung, 2: überfällig, nie gelaufen oder Fehler
  tasks                     Namen aller Tasks, einer je Zeile
  run NAME                  Task in der laufenden Kopie starten
  dry-run NAME              Probelauf in der laufenden Kopie
  stop NAME                 Lauf eines Tasks stoppen
  history NAME [--json] [--limit N]
                            die Läufe eines Tasks, der neueste zuerst
  log NAME [--follow]       neuestes Log eines Tasks; mit --follow bis zum Ende
                            des Laufs (Rückgabewert 0: Erfolg, 1: Fehler, 2: gestoppt)
  pause | resume            automatische Starts anhalten oder fortsetzen
  show                      Panel der laufenden Kopie zeigen

Optionen:
  --repo ORDNER             Skript-Repository (mit Scripts/ und logs/)
  --support ORDNER          Ordner mit config.toml
  --observe                 nur beobachten, keine Tasks starten
  --headless                ohne Anzeige laufen (kein Infobereich, kein Panel)
  --snapshot DATEI.png      Panel als Bild speichern (--dark, --expand, --wait SEKUNDEN)
  --run-spiegel             Scripts/run_spiegel.sh ausführen
  -h, --help, --version

Einstellungen: %1
(ohne --support: %2)
</source>
        <translation>Usage: savewright [--repo FOLDER] [--support FOLDER] [COMMAND]

Without a command Savewright runs in the tray and starts the tasks on schedule.

Commands:
  status [--json | --line]  state of all tasks; exit status 0: all ok,
                            1: a warning, 2: overdue, never run or failed
  tasks                     names of all tasks, one per line
  run NAME                  start a task in the running copy
  dry-run NAME              dry run in the running copy
  stop NAME                 stop a task&apos;s run
  history NAME [--json] [--limit N]
                            a task&apos;s runs, newest first
  log NAME [--follow]       a task&apos;s newest log; with --follow until the end
                            of the run (exit status 0: success, 1: failure, 2: stopped)
  pause | resume            pause or resume automatic starts
  show                      show the running copy&apos;s panel

Options:
  --repo FOLDER             script repository (with Scripts/ and logs/)
  --support FOLDER          folder with config.toml
  --observe                 only watch, start no tasks
  --headless                run without a display (no tray, no panel)
  --snapshot FILE.png       save the panel as a picture (--dark, --expand, --wait SECONDS)
  --run-spiegel             run Scripts/run_spiegel.sh
  -h, --help, --version

Settings: %1
(without --support: %2)
</translation>
    </message>
    <message>
        <source>Savewright läuft nicht (keine Kopie auf dem Sitzungsbus).</source>
        <translation>Savewright is not running (no copy on the session bus).</translation>
    </message>
    <message>
        <source>Die laufende Kopie arbeitet mit dem Repository %1.
</source>
        <translation>The running copy works with the repository %1.
</translation>
    </message>
    <message>
        <source>Repository %1 (aus den Logs).
</source>
        <translation>Repository %1 (from the logs).
</translation>
    </message>
</context>
<context>
    <name>ConfigCheck</name>
    <message>
        <source>muss ein Text in Anführungszeichen sein</source>
        <translation>must be a text in quotes</translation>
    </message>
    <message>
        <source>muss eine Zahl sein</source>
        <translation>must be a number</translation>
    </message>
    <message>
        <source>muss true oder false sein</source>
        <translation>must be true or false</translation>
    </message>
    <message>
        <source>muss eine Liste von Texten sein</source>
        <translation>must be a list of texts</translation>
    </message>
    <message>
        <source>%1: unbekannter Schlüssel „%2“</source>
        <translation>%1: unknown key “%2”</translation>
    </message>
    <message>
        <source>nur die Texte darin gelten</source>
        <translation>only the texts in it count</translation>
    </message>
    <message>
        <source>es gilt der Standardwert</source>
        <translation>the default applies</translation>
    </message>
    <message>
        <source>%1: day „%2“ ist kein Wochentag (monday … sunday): der Task wird nie fällig</source>
        <translation>%1: day “%2” is not a weekday (monday … sunday): the task is never due</translation>
    </message>
    <message>
        <source>%1: time „%2“ ist keine Uhrzeit (HH:MM): der Task wird nie fällig</source>
        <translation>%1: time “%2” is not a time of day (HH:MM): the task is never due</translation>
    </message>
    <message>
        <source>%1: gio mount hängt %2 nicht unter %3 ein, sondern unter %4</source>
        <translation>%1: gio mount mounts %2 not at %3 but at %4</translation>
    </message>
    <message>
        <source>%1: %2 muss „run“ oder „skip“ sein, es gilt „run“</source>
        <translation>%1: %2 must be “run” or “skip”, “run” applies</translation>
    </message>
    <message>
        <source>%1: min_battery_percent muss zwischen 0 und 100 liegen, es gilt keine Grenze</source>
        <translation>%1: min_battery_percent must be between 0 and 100, no limit applies</translation>
    </message>
    <message>
        <source>%1: nice muss eine ganze Zahl von 0 bis 19 sein, es gilt die Priorität des Programms</source>
        <translation>%1: nice must be a whole number from 0 to 19, the program&apos;s priority applies</translation>
    </message>
    <message>
        <source>%1: io_class muss „idle“ oder „best-effort“ sein, es gilt die Klasse des Programms</source>
        <translation>%1: io_class must be “idle” or “best-effort”, the program&apos;s class applies</translation>
    </message>
    <message>
        <source>[task] ist eine einfache Tabelle: für einen Task [[task]] schreiben</source>
        <translation>[task] is a plain table: write [[task]] for a task</translation>
    </message>
    <message>
        <source>„%1“ steht vor jeder Tabelle und gilt nicht</source>
        <translation>“%1” stands before any table and does not count</translation>
    </message>
    <message>
        <source>unbekannte Tabelle [%1]</source>
        <translation>unknown table [%1]</translation>
    </message>
    <message>
        <source>unbekannte Tabelle [[%1]]</source>
        <translation>unknown table [[%1]]</translation>
    </message>
    <message>
        <source>Task „%1“</source>
        <translation>Task “%1”</translation>
    </message>
    <message>
        <source>%1: max_logs muss mindestens 1 sein, es gilt 1</source>
        <translation>%1: max_logs must be at least 1, 1 applies</translation>
    </message>
    <message>
        <source>%1: max_log_mb muss zwischen 0 und 1000000000 liegen, es gilt 256</source>
        <translation>%1: max_log_mb must be between 0 and 1000000000, 256 applies</translation>
    </message>
    <message numerus="yes">
        <source>config.toml: %n weitere Hinweise</source>
        <translation>
            <numerusform>config.toml: %n more notice</numerusform>
            <numerusform>config.toml: %n more notices</numerusform>
        </translation>
    </message>
    <message>
        <source>[general]: language „%1“ gibt es nicht (nur %2), es gilt die Sprache der Umgebung</source>
        <translation>[general]: there is no language “%1” (only %2), the environment&apos;s language applies</translation>
    </message>
</context>
<context>
    <name>ConfigTemplate</name>
    <message>
        <source># Savewright: Tasks und Einstellungen.
# Nach dem Speichern liest Savewright die Datei von selbst neu ein.
# Jeder Task ruft ein bash-Skript aus dem Ordner Scripts/ des Repositorys auf.

[general]
# Wo Scripts/ und logs/ liegen (&quot;~&quot; ist der Persönliche Ordner):
# repo = &quot;~/Savewright&quot;
# poll_interval_seconds = 30
# notify = true
# Sprache der Anzeige, &quot;de&quot; oder &quot;en&quot;; sonst wie die Umgebung (LANG):
# language = &quot;de&quot;

# Alle 60 Minuten:
# [[task]]
# name = &quot;Dokumente&quot;
# type = &quot;scheduled&quot;
# script = &quot;dokumente.sh&quot;
# interval_minutes = 60
# group = &quot;Lokal&quot;

# Sobald die Freigabe eingehängt ist, höchstens alle 24 Stunden. gio mount
# hängt smb://nas/fotos unter @GVFS@/smb-share:server=nas,share=fotos ein;
# für einen Eintrag in /etc/fstab mit der Option &quot;user&quot;: mount_url = &quot;fstab&quot;.
# [[task]]
# name = &quot;Fotos&quot;
# type = &quot;on_mount&quot;
# script = &quot;fotos.sh&quot;
# watch_volumes = [&quot;@GVFS@/smb-share:server=nas,share=fotos&quot;]
# mount_url = &quot;smb://nas/fotos&quot;
# interval_hours = 24

# Jede Woche im Zwei-Stunden-Fenster um Sonntag 03:00:
# [[task]]
# name = &quot;Wochenarchiv&quot;
# type = &quot;weekly&quot;
# script = &quot;archiv.sh&quot;
# day = &quot;sunday&quot;
# time = &quot;03:00&quot;
# catch_up = true

# Läuft anderswo (etwa per cron); Savewright liest nur seine Logs:
# [[task]]
# name = &quot;Server&quot;
# type = &quot;external&quot;
# script = &quot;server.sh&quot;
</source>
        <translation># Savewright: tasks and settings.
# Savewright reads this file again by itself when it is saved.
# Each task runs a bash script from the repository&apos;s Scripts/ folder.

[general]
# Where Scripts/ and logs/ are (&quot;~&quot; is the home folder):
# repo = &quot;~/Savewright&quot;
# poll_interval_seconds = 30
# notify = true
# Language of the display, &quot;de&quot; or &quot;en&quot;; otherwise as the environment says (LANG):
# language = &quot;en&quot;

# Every 60 minutes:
# [[task]]
# name = &quot;Documents&quot;
# type = &quot;scheduled&quot;
# script = &quot;documents.sh&quot;
# interval_minutes = 60
# group = &quot;Local&quot;

# As soon as the share is mounted, at most every 24 hours. gio mount
# mounts smb://nas/photos at @GVFS@/smb-share:server=nas,share=photos;
# for an entry in /etc/fstab with the option &quot;user&quot;: mount_url = &quot;fstab&quot;.
# [[task]]
# name = &quot;Photos&quot;
# type = &quot;on_mount&quot;
# script = &quot;photos.sh&quot;
# watch_volumes = [&quot;@GVFS@/smb-share:server=nas,share=photos&quot;]
# mount_url = &quot;smb://nas/photos&quot;
# interval_hours = 24

# Every week in the two-hour window from Sunday 03:00:
# [[task]]
# name = &quot;Weekly archive&quot;
# type = &quot;weekly&quot;
# script = &quot;archive.sh&quot;
# day = &quot;sunday&quot;
# time = &quot;03:00&quot;
# catch_up = true

# Runs elsewhere (by cron, say); Savewright only reads its logs:
# [[task]]
# name = &quot;Server&quot;
# type = &quot;external&quot;
# script = &quot;server.sh&quot;
</translation>
    </message>
</context>
<context>
    <name>ControlService</name>
    <message>
        <source>Diese Savewright-Kopie beobachtet nur und startet oder stoppt keine Tasks.</source>
        <translation>This copy of Savewright only watches and starts or stops no tasks.</translation>
    </message>
    <message>
        <source>Unbekannter Task: „%1“</source>
        <translation>Unknown task: “%1”</translation>
    </message>
    <message>
        <source>„%1“ ist ein externer Task: Savewright beobachtet ihn nur.</source>
        <translation>“%1” is an external task: Savewright only watches it.</translation>
    </message>
    <message>
        <source>„%1“ läuft bereits.</source>
        <translation>“%1” is already running.</translation>
    </message>
    <message>
        <source>„%1“ läuft nicht in dieser Kopie.</source>
        <translation>“%1” is not running in this copy.</translation>
    </message>
    <message>
        <source>Diese Savewright-Kopie läuft ohne Anzeige (--headless) und hat kein Panel.</source>
        <translation>This copy of Savewright runs without a display (--headless) and has no panel.</translation>
    </message>
</context>
<context>
    <name>Controls</name>
    <message>
        <source>Weniger</source>
        <translation>Less</translation>
    </message>
    <message numerus="yes">
        <source>%n weitere</source>
        <translation>
            <numerusform>%n more</numerusform>
            <numerusform>%n more</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Dashboard</name>
    <message>
        <source>Fehler</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Python nicht gefunden: </source>
        <translation>Python not found: </translation>
    </message>
</context>
<context>
    <name>DeletionEvents</name>
    <message>
        <source>Löschbericht</source>
        <translation>Deletion report</translation>
    </message>
    <message>
        <source>Löschschutz</source>
        <translation>Deletion protection</translation>
    </message>
</context>
<context>
    <name>DryRunWindow</name>
    <message>
        <source>Dry-Run: </source>
        <translation>Dry run: </translation>
    </message>
    <message>
        <source>Nur rsync-Aufrufe laufen als Dry-Run; andere Befehle des Skripts liefen wirklich.</source>
        <translation>Only rsync calls run as a dry run; the script&apos;s other commands really ran.</translation>
    </message>
    <message>
        <source>Beendet mit Fehler: </source>
        <translation>Finished with an error: </translation>
    </message>
    <message>
        <source>Beendet ohne Fehler (Exit-Status 0)</source>
        <translation>Finished without error (exit status 0)</translation>
    </message>
</context>
<context>
    <name>Engine</name>
    <message>
        <source>Task „%1“ ist mehrfach eingetragen</source>
        <translation>Task “%1” is entered more than once</translation>
    </message>
    <message>
        <source>Task „%1“ schreibt dieselben Logdateien wie „%2“</source>
        <translation>Task “%1” writes the same log files as “%2”</translation>
    </message>
    <message>
        <source>config.toml nicht lesbar: %1</source>
        <translation>config.toml cannot be read: %1</translation>
    </message>
    <message>
        <source>config.toml geladen: 1 Task (%1)</source>
        <translation>config.toml loaded: 1 task (%1)</translation>
    </message>
    <message numerus="yes">
        <source>config.toml geladen: %n Tasks (%1)</source>
        <translation>
            <numerusform>config.toml loaded: %n task (%1)</numerusform>
            <numerusform>config.toml loaded: %n tasks (%1)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Beenden: %n laufende(n) Task(s) abbrechen</source>
        <translation>
            <numerusform>Quitting: cancelling %n running task</numerusform>
            <numerusform>Quitting: cancelling %n running tasks</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Files</name>
    <message>
        <source>Nicht zu öffnen: %1
</source>
        <translation>Cannot be opened: %1
</translation>
    </message>
    <message>
        <source>Über Savewright</source>
        <translation>About Savewright</translation>
    </message>
    <message>
        <source>Version %1-%2</source>
        <translation>Version %1-%2</translation>
    </message>
    <message>
        <source>Schließen</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Löschbericht</source>
        <translation>Deletion report</translation>
    </message>
</context>
<context>
    <name>HistoryChart</name>
    <message>
        <source>Noch keine Läufe</source>
        <translation>No runs yet</translation>
    </message>
    <message>
        <source>dd.MM. HH:mm</source>
        <translation>MM-dd HH:mm</translation>
    </message>
    <message>
        <source>jetzt</source>
        <translation>now</translation>
    </message>
</context>
<context>
    <name>HistoryWindow</name>
    <message>
        <source>Verlauf: </source>
        <translation>History: </translation>
    </message>
    <message>
        <source>dd.MM.yyyy HH:mm:ss</source>
        <translation>yyyy-MM-dd HH:mm:ss</translation>
    </message>
    <message>
        <source>1 Lauf</source>
        <translation>1 run</translation>
    </message>
    <message numerus="yes">
        <source>%n Läufe</source>
        <translation>
            <numerusform>%n run</numerusform>
            <numerusform>%n runs</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>LogCommands</name>
    <message>
        <source>Kein Task „%1“ in %2.
</source>
        <translation>No task “%1” in %2.
</translation>
    </message>
    <message>
        <source>dd.MM.yyyy HH:mm</source>
        <translation>yyyy-MM-dd HH:mm</translation>
    </message>
    <message>
        <source>Noch kein Log für „%1“.
</source>
        <translation>No log for “%1” yet.
</translation>
    </message>
</context>
<context>
    <name>LogRefresh</name>
    <message>
        <source>Repository antwortet nicht: </source>
        <translation>Repository does not answer: </translation>
    </message>
</context>
<context>
    <name>LogView</name>
    <message>
        <source>Suchen</source>
        <translation>Find</translation>
    </message>
    <message>
        <source>Früheres laden</source>
        <translation>Load earlier</translation>
    </message>
    <message>
        <source>Im Editor öffnen</source>
        <translation>Open in editor</translation>
    </message>
    <message>
        <source>Ordner öffnen</source>
        <translation>Open folder</translation>
    </message>
    <message>
        <source>Log nicht lesbar: </source>
        <translation>Log cannot be read: </translation>
    </message>
    <message numerus="yes">
        <source>über %n Treffer</source>
        <translation>
            <numerusform>over %n match</numerusform>
            <numerusform>over %n matches</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n Treffer</source>
        <translation>
            <numerusform>%n match</numerusform>
            <numerusform>%n matches</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Metrics</name>
    <message>
        <source>metrics_file nicht schreibbar: </source>
        <translation>metrics_file cannot be written: </translation>
    </message>
</context>
<context>
    <name>Notifier</name>
    <message>
        <source> – Klick zum Öffnen</source>
        <translation> – click to open</translation>
    </message>
    <message>
        <source>Savewright %1 verfügbar</source>
        <translation>Savewright %1 available</translation>
    </message>
    <message>
        <source>Klick zum Herunterladen</source>
        <translation>Click to download</translation>
    </message>
    <message>
        <source> (installiert: %1)</source>
        <translation> (installed: %1)</translation>
    </message>
    <message>
        <source>Starten</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Stoppen</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Öffnen</source>
        <translation>Open</translation>
    </message>
</context>
<context>
    <name>PanelView</name>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Alle starten</source>
        <translation>Start all</translation>
    </message>
    <message>
        <source>Dashboard</source>
        <translation>Dashboard</translation>
    </message>
    <message>
        <source>Löschbericht</source>
        <translation>Deletion report</translation>
    </message>
    <message>
        <source>Savewright beenden</source>
        <translation>Quit Savewright</translation>
    </message>
    <message>
        <source>1 Lauf läuft. Abbrechen und beenden?</source>
        <translation>1 run is under way. Cancel it and quit?</translation>
    </message>
    <message numerus="yes">
        <source>%n Läufe laufen. Abbrechen und beenden?</source>
        <translation>
            <numerusform>%n run is under way. Cancel it and quit?</numerusform>
            <numerusform>%n runs are under way. Cancel them and quit?</numerusform>
        </translation>
    </message>
    <message>
        <source>Abbrechen und beenden</source>
        <translation>Cancel and quit</translation>
    </message>
    <message>
        <source>Weiterlaufen</source>
        <translation>Keep running</translation>
    </message>
    <message>
        <source>Fortsetzen</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>Dashboard …</source>
        <translation>Dashboard …</translation>
    </message>
    <message>
        <source>Version %1 verfügbar (installiert: %2)</source>
        <translation>Version %1 available (installed: %2)</translation>
    </message>
    <message>
        <source>Laden</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>Kein Programm öffnet „%1“</source>
        <translation>No program opens “%1”</translation>
    </message>
    <message>
        <source>Pfad kopieren</source>
        <translation>Copy path</translation>
    </message>
    <message>
        <source>Vorlage angelegt: %1. Einen Task eintragen (die Beispiele zeigen wie) und speichern – Savewright liest die Datei dann von selbst.</source>
        <translation>Template written: %1. Enter a task (the examples show how) and save – Savewright then reads the file by itself.</translation>
    </message>
    <message>
        <source>Noch keine config.toml: eine Vorlage mit Beispielen anlegen?</source>
        <translation>No config.toml yet: write a template with examples?</translation>
    </message>
    <message>
        <source>Vorlage anlegen</source>
        <translation>Write template</translation>
    </message>
    <message>
        <source>config.toml: Vorlage nicht angelegt: </source>
        <translation>config.toml: template not written: </translation>
    </message>
    <message>
        <source>Logs</source>
        <translation>Logs</translation>
    </message>
    <message>
        <source>Einstellungen</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Neu laden</source>
        <translation>Reload</translation>
    </message>
    <message>
        <source>Über Savewright</source>
        <translation>About Savewright</translation>
    </message>
    <message>
        <source>Beenden</source>
        <translation>Quit</translation>
    </message>
</context>
<context>
    <name>Paths</name>
    <message>
        <source>
„savewright --help“ zeigt alle Befehle und Optionen.
</source>
        <translation>
“savewright --help” shows all commands and options.
</translation>
    </message>
    <message>
        <source>„%1“ braucht den Namen eines Tasks.</source>
        <translation>“%1” needs the name of a task.</translation>
    </message>
    <message>
        <source>„--limit“ braucht eine Zahl ab 1.</source>
        <translation>“--limit” needs a number from 1 up.</translation>
    </message>
    <message>
        <source>Unbekannte Option „%1“.</source>
        <translation>Unknown option “%1”.</translation>
    </message>
    <message>
        <source>Zu viele Angaben: „%1“.</source>
        <translation>Too many arguments: “%1”.</translation>
    </message>
    <message>
        <source>Unbekannter Befehl „%1“.</source>
        <translation>Unknown command “%1”.</translation>
    </message>
</context>
<context>
    <name>PosixFile</name>
    <message>
        <source>Datei fehlt</source>
        <translation>file missing</translation>
    </message>
    <message>
        <source>keine Berechtigung</source>
        <translation>permission denied</translation>
    </message>
    <message>
        <source>ist ein Ordner</source>
        <translation>is a folder</translation>
    </message>
    <message>
        <source>keine normale Datei</source>
        <translation>not a regular file</translation>
    </message>
</context>
<context>
    <name>RelativeTime</name>
    <message>
        <source>nie</source>
        <translation>never</translation>
    </message>
    <message>
        <source>gerade eben</source>
        <translation>just now</translation>
    </message>
    <message>
        <source>vor %1 Min.</source>
        <translation>%1 min ago</translation>
    </message>
    <message>
        <source>vor %1 Std.</source>
        <translation>%1 h ago</translation>
    </message>
    <message>
        <source>Montag</source>
        <translation>Monday</translation>
    </message>
    <message>
        <source>Dienstag</source>
        <translation>Tuesday</translation>
    </message>
    <message>
        <source>Mittwoch</source>
        <translation>Wednesday</translation>
    </message>
    <message>
        <source>Donnerstag</source>
        <translation>Thursday</translation>
    </message>
    <message>
        <source>Freitag</source>
        <translation>Friday</translation>
    </message>
    <message>
        <source>Samstag</source>
        <translation>Saturday</translation>
    </message>
    <message>
        <source>Sonntag</source>
        <translation>Sunday</translation>
    </message>
    <message>
        <source>morgen %1</source>
        <translation>tomorrow %1</translation>
    </message>
    <message>
        <source>dd.MM.yyyy HH:mm</source>
        <translation>yyyy-MM-dd HH:mm</translation>
    </message>
    <message>
        <source>jetzt</source>
        <translation>now</translation>
    </message>
    <message>
        <source>in %1 Min.</source>
        <translation>in %1 min</translation>
    </message>
    <message>
        <source>heute %1</source>
        <translation>today %1</translation>
    </message>
    <message numerus="yes">
        <source>vor %n Tagen</source>
        <translation>
            <numerusform>%n day ago</numerusform>
            <numerusform>%n days ago</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Resume</name>
    <message>
        <source>pausiert bis %1</source>
        <translation>paused until %1</translation>
    </message>
    <message>
        <source>pausiert</source>
        <translation>paused</translation>
    </message>
    <message>
        <source>nach dem Aufwachen</source>
        <translation>after waking up</translation>
    </message>
    <message>
        <source>Akkubetrieb</source>
        <translation>on battery</translation>
    </message>
    <message>
        <source>Akku unter %1 %</source>
        <translation>battery below %1 %</translation>
    </message>
    <message>
        <source>getaktete Verbindung</source>
        <translation>metered connection</translation>
    </message>
</context>
<context>
    <name>RunHistory</name>
    <message>
        <source>erfolgreich</source>
        <translation>succeeded</translation>
    </message>
    <message>
        <source>fehlgeschlagen</source>
        <translation>failed</translation>
    </message>
    <message>
        <source>abgebrochen</source>
        <translation>stopped</translation>
    </message>
    <message>
        <source>läuft</source>
        <translation>running</translation>
    </message>
    <message>
        <source>unlesbar</source>
        <translation>unreadable</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Dauer</source>
        <translation>Duration</translation>
    </message>
    <message>
        <source>Ergebnis</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>Übertragen</source>
        <translation>Transferred</translation>
    </message>
    <message>
        <source>Dateien</source>
        <translation>Files</translation>
    </message>
    <message>
        <source>Meldung</source>
        <translation>Message</translation>
    </message>
</context>
<context>
    <name>SavewrightApp</name>
    <message>
        <source>Savewright läuft schon (eine Kopie mit demselben Support-Ordner).
</source>
        <translation>Savewright is already running (a copy with the same support folder).
</translation>
    </message>
    <message>
        <source>Die Python-Hülle (run.py) läuft noch – Savewright startet keine Tasks.</source>
        <translation>The Python shell (run.py) is still running – Savewright starts no tasks.</translation>
    </message>
</context>
<context>
    <name>StatusReport</name>
    <message>
        <source>läuft</source>
        <translation>running</translation>
    </message>
    <message>
        <source>Fehler</source>
        <translation>failed</translation>
    </message>
    <message>
        <source>überfällig</source>
        <translation>overdue</translation>
    </message>
    <message>
        <source>nie gelaufen</source>
        <translation>never run</translation>
    </message>
    <message>
        <source>Warnung</source>
        <translation>warning</translation>
    </message>
    <message>
        <source>ok</source>
        <translation>ok</translation>
    </message>
    <message>
        <source>Task</source>
        <translation>Task</translation>
    </message>
    <message>
        <source>Gruppe</source>
        <translation>Group</translation>
    </message>
    <message>
        <source>Art</source>
        <translation>Kind</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Letzter Erfolg</source>
        <translation>Last success</translation>
    </message>
    <message>
        <source>Nächster Lauf</source>
        <translation>Next run</translation>
    </message>
    <message>
        <source>Meldung</source>
        <translation>Message</translation>
    </message>
</context>
<context>
    <name>TaskRow</name>
    <message>
        <source>Stoppen</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Starten</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Log öffnen</source>
        <translation>Open log</translation>
    </message>
    <message>
        <source>Skript öffnen</source>
        <translation>Open script</translation>
    </message>
    <message>
        <source>Dry-Run</source>
        <translation>Dry run</translation>
    </message>
    <message>
        <source>Verlauf…</source>
        <translation>History…</translation>
    </message>
    <message>
        <source>Fortsetzen</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>Pausieren für 1 Stunde</source>
        <translation>Pause for 1 hour</translation>
    </message>
    <message>
        <source>Pausieren bis morgen</source>
        <translation>Pause until tomorrow</translation>
    </message>
    <message>
        <source>Pausieren bis ich fortsetze</source>
        <translation>Pause until I resume</translation>
    </message>
</context>
<context>
    <name>TaskRunner</name>
    <message>
        <source>Läuft schon in einer anderen Savewright-Kopie</source>
        <translation>Already running in another copy of Savewright</translation>
    </message>
    <message>
        <source>Ein früherer Lauf läuft noch</source>
        <translation>An earlier run is still going</translation>
    </message>
    <message>
        <source>Abgebrochen: %1</source>
        <translation>Cancelled: %1</translation>
    </message>
    <message>
        <source>von Hand gestoppt</source>
        <translation>stopped by hand</translation>
    </message>
    <message>
        <source>Savewright beendet (Neustart oder Ausschalten)</source>
        <translation>Savewright quit (restart or shutdown)</translation>
    </message>
</context>
<context>
    <name>TaskStarts</name>
    <message>
        <source>Volume fehlt: </source>
        <translation>Volume missing: </translation>
    </message>
    <message>
        <source>Lauf nicht gestartet: kein Thread frei</source>
        <translation>Run not started: no thread free</translation>
    </message>
    <message>
        <source>Log nicht schreibbar: </source>
        <translation>Log cannot be written: </translation>
    </message>
</context>
<context>
    <name>TaskState</name>
    <message>
        <source>Fehler</source>
        <translation>failed</translation>
    </message>
</context>
<context>
    <name>Toml</name>
    <message>
        <source>config.toml Zeile %1: %2</source>
        <translation>config.toml line %1: %2</translation>
    </message>
    <message>
        <source>Wert fehlt</source>
        <translation>value missing</translation>
    </message>
    <message>
        <source>String nicht geschlossen</source>
        <translation>string not closed</translation>
    </message>
    <message>
        <source>unbekanntes Escape \%1</source>
        <translation>unknown escape \%1</translation>
    </message>
    <message>
        <source>ungültiges \%1-Escape</source>
        <translation>invalid \%1 escape</translation>
    </message>
    <message>
        <source>Liste zu tief verschachtelt</source>
        <translation>list nested too deeply</translation>
    </message>
    <message>
        <source>Liste nicht geschlossen</source>
        <translation>list not closed</translation>
    </message>
    <message>
        <source>„,“ oder „]“ erwartet</source>
        <translation>“,” or “]” expected</translation>
    </message>
    <message>
        <source>unbekannter Wert „%1“</source>
        <translation>unknown value “%1”</translation>
    </message>
    <message>
        <source>] ] fehlt</source>
        <translation>] ] missing</translation>
    </message>
    <message>
        <source>] fehlt</source>
        <translation>] missing</translation>
    </message>
    <message>
        <source>„=“ fehlt</source>
        <translation>“=” missing</translation>
    </message>
    <message>
        <source>unerwartete Zeichen nach dem Wert</source>
        <translation>unexpected characters after the value</translation>
    </message>
</context>
<context>
    <name>TrayMenu</name>
    <message>
        <source>Panel zeigen</source>
        <translation>Show panel</translation>
    </message>
    <message>
        <source>Beim Anmelden starten</source>
        <translation>Start at login</translation>
    </message>
    <message>
        <source>Nicht zu ändern: %1
</source>
        <translation>Cannot be changed: %1
</translation>
    </message>
    <message>
        <source>Beenden</source>
        <translation>Quit</translation>
    </message>
</context>
<context>
    <name>ViewModel</name>
    <message>
        <source>Sonstiges</source>
        <translation>Other</translation>
    </message>
    <message numerus="yes">
        <source>%n Warnung</source>
        <translation>
            <numerusform>%n warning</numerusform>
            <numerusform>%n warnings</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n überfällig</source>
        <translation>
            <numerusform>%n overdue</numerusform>
            <numerusform>%n overdue</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n Fehler</source>
        <translation>
            <numerusform>%n failed</numerusform>
            <numerusform>%n failed</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n läuft</source>
        <translation>
            <numerusform>%n running</numerusform>
            <numerusform>%n running</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n wartet</source>
        <translation>
            <numerusform>%n waiting</numerusform>
            <numerusform>%n waiting</numerusform>
        </translation>
    </message>
    <message>
        <source> · pausiert</source>
        <translation> · paused</translation>
    </message>
    <message>
        <source>Fehler</source>
        <translation>failed</translation>
    </message>
    <message>
        <source>Savewright · Beobachter</source>
        <translation>Savewright · Observer</translation>
    </message>
    <message>
        <source>läuft · %1 %</source>
        <translation>running · %1 %</translation>
    </message>
    <message>
        <source>läuft</source>
        <translation>running</translation>
    </message>
    <message>
        <source>läuft · %1:%2</source>
        <translation>running · %1:%2</translation>
    </message>
    <message>
        <source>wartet auf Volume: </source>
        <translation>waiting for volume: </translation>
    </message>
    <message>
        <source>zurückgestellt: </source>
        <translation>held back: </translation>
    </message>
    <message>
        <source>sobald %1 da ist</source>
        <translation>as soon as %1 is there</translation>
    </message>
    <message>
        <source>sobald %1 da sind</source>
        <translation>as soon as %1 are there</translation>
    </message>
    <message>
        <source> und </source>
        <translation> and </translation>
    </message>
    <message>
        <source> oder </source>
        <translation> or </translation>
    </message>
    <message>
        <source>nächster Lauf: </source>
        <translation>next run: </translation>
    </message>
    <message>
        <source>wartet</source>
        <translation>waiting</translation>
    </message>
    <message>
        <source>nie</source>
        <translation>never</translation>
    </message>
    <message numerus="yes">
        <source> (+%n weitere)</source>
        <translation>
            <numerusform> (+%n more)</numerusform>
            <numerusform> (+%n more)</numerusform>
        </translation>
    </message>
</context>
</TS>
