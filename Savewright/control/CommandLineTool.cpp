#include "CommandLineTool.h"

#include "ControlProxy.h"

#include "base/Language.h"
#include "config/Paths.h"
#include "control/ControlService.h"
#include "control/LogCommands.h"
#include "control/StatusReport.h"
#include "engine/Engine.h"
#include "platform/Console.h"
#include "update/UpdateChecker.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <cstdio>

namespace CommandLineTool {

namespace {

constexpr int kCallTimeoutMs = 5000;

// The commands that act on the running copy, by the method each calls.
using Method = std::function<QDBusPendingCall(ControlProxy&, const QString& task)>;
const QHash<QString, Method>& methods() {
    static const QHash<QString, Method> table{
        {QStringLiteral("run"), [](ControlProxy& c, const QString& t) { return c.Run(t); }},
        {QStringLiteral("dry-run"), [](ControlProxy& c, const QString& t) { return c.DryRun(t); }},
        {QStringLiteral("stop"), [](ControlProxy& c, const QString& t) { return c.Stop(t); }},
        {QStringLiteral("pause"), [](ControlProxy& c, const QString&) { return c.Pause(); }},
        {QStringLiteral("resume"), [](ControlProxy& c, const QString&) { return c.Resume(); }},
        {QStringLiteral("show"), [](ControlProxy& c, const QString&) { return c.ShowPanel(); }}};
    return table;
}

QString usage(const Paths& paths) {
    return Language::translate(
               "CommandLineTool",
               "Aufruf: savewright [--repo ORDNER] [--support ORDNER] [BEFEHL]\n"
               "\n"
               "Ohne Befehl läuft Savewright im Infobereich und startet die Tasks nach Plan.\n"
               "\n"
               "Befehle:\n"
               "  status [--json | --line]  Zustand aller Tasks; Rückgabewert 0: alle ok,\n"
               "                            1: eine Warnung, 2: überfällig, nie gelaufen oder "
               "Fehler\n"
               "  tasks                     Namen aller Tasks, einer je Zeile\n"
               "  run NAME                  Task in der laufenden Kopie starten\n"
               "  dry-run NAME              Probelauf in der laufenden Kopie\n"
               "  stop NAME                 Lauf eines Tasks stoppen\n"
               "  history NAME [--json] [--limit N]\n"
               "                            die Läufe eines Tasks, der neueste zuerst\n"
               "  log NAME [--follow]       neuestes Log eines Tasks; mit --follow bis zum Ende\n"
               "                            des Laufs (Rückgabewert 0: Erfolg, 1: Fehler, 2: "
               "gestoppt)\n"
               "  pause | resume            automatische Starts anhalten oder fortsetzen\n"
               "  show                      Panel der laufenden Kopie zeigen\n"
               "\n"
               "Optionen:\n"
               "  --repo ORDNER             Skript-Repository (mit Scripts/ und logs/)\n"
               "  --support ORDNER          Ordner mit config.toml\n"
               "  --observe                 nur beobachten, keine Tasks starten\n"
               "  --headless                ohne Anzeige laufen (kein Infobereich, kein Panel)\n"
               "  --snapshot DATEI.png      Panel als Bild speichern (--dark, --expand, --wait "
               "SEKUNDEN)\n"
               "  --run-spiegel             Scripts/run_spiegel.sh ausführen\n"
               "  -h, --help, --version\n"
               "\n"
               "Einstellungen: %1\n"
               "(ohne --support: %2)\n")
        .arg(paths.configFile(), Paths::defaultAppSupport() + QStringLiteral("/config.toml"));
}

QDBusMessage call(const std::function<QDBusPendingCall(ControlProxy&)>& method) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(ControlService::kService))
        return QDBusMessage::createError(
            QDBusError::ServiceUnknown,
            Language::translate("CommandLineTool",
                                "Savewright läuft nicht (keine Kopie auf dem Sitzungsbus)."));
    return ControlService::callOwner(bus, kCallTimeoutMs, method);
}

// Read from the logs and config.toml by an engine that only looks: it starts
// nothing and remembers nothing beyond this command.
QJsonObject fromLogs(const Paths& paths) {
    QTemporaryDir scratch;
    Console::setQuiet(true);
    Engine engine(paths, true, {},
                  std::make_unique<QSettings>(scratch.filePath(QStringLiteral("seen.ini")),
                                              QSettings::IniFormat));
    return StatusReport::of(engine, QStringLiteral("logs"));
}

// The running copy's report, when one answers.
QJsonObject liveReport() {
    return ControlService::reportIn(call([](ControlProxy& copy) { return copy.Status(); }));
}

// Said whenever the running copy works on another repository than this command.
QString otherRepository(const QJsonObject& live, const Paths& paths) {
    const QString repo = live.value(u"repo").toString();
    if (repo.isEmpty() || repo == paths.repo) return {};
    return Language::translate("CommandLineTool",
                               "Die laufende Kopie arbeitet mit dem Repository %1.\n")
        .arg(repo);
}

int status(const QStringList& arguments, const Paths& paths) {
    // The running copy knows which runs are its own; asked only about the same repository.
    const QJsonObject live = liveReport();
    const QString other = otherRepository(live, paths);
    QJsonObject report = live;
    if (live.isEmpty() || !other.isEmpty()) report = fromLogs(paths);
    if (arguments.contains(QStringLiteral("--json"))) {
        print(stdout, QString::fromUtf8(QJsonDocument(report).toJson(QJsonDocument::Indented)));
    } else if (arguments.contains(QStringLiteral("--line"))) {
        print(stdout, StatusReport::line(report) + u'\n');
    } else {
        if (!other.isEmpty())
            print(stdout, Language::translate("CommandLineTool", "Repository %1 (aus den Logs).\n")
                                  .arg(paths.repo) +
                              other);
        print(stdout, StatusReport::table(report, QDateTime::currentDateTimeUtc()));
    }
    return StatusReport::exitCode(report);
}

// One name a line, for shell completion and scripts.
int tasks(const Paths& paths) {
    const auto configured = configuredTasks(paths);
    if (!configured) return kUsageError;
    for (const TaskConfig& t : *configured)
        print(stdout, t.name + u'\n');
    return 0;
}

int action(const CommandLine::Parsed& parsed, const Paths& paths) {
    const Method method = methods().value(*parsed.command);
    if (!method) return kUsageError;
    const QDBusMessage reply = call([&](ControlProxy& copy) { return method(copy, parsed.task); });
    if (reply.type() != QDBusMessage::ReplyMessage) {
        print(stderr, reply.errorMessage() + u'\n');
        return 1;
    }
    // A command meant for this repository that another one's copy carried out.
    print(stderr, otherRepository(liveReport(), paths));
    return 0;
}

} // namespace

void print(FILE* to, const QString& text) {
    std::fputs(text.toUtf8().constData(), to);
}

std::optional<QList<TaskConfig>> configuredTasks(const Paths& paths) {
    try {
        return AppConfig::load(paths.configFile()).tasks;
    } catch (const ConfigError& e) {
        print(stderr, QStringLiteral("config.toml: ") + e.description() + u'\n');
        return std::nullopt;
    }
}

int run(int argc, char** argv, const QString& command) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const Paths paths = Paths::resolve(arguments, arguments.value(0));
    if (command == u"--help") {
        print(stdout, usage(paths));
        return 0;
    }
    if (command == u"--version") {
        print(stdout, QStringLiteral("Savewright ") + UpdateChecker::currentVersion() + u'\n');
        return 0;
    }
    if (command == u"status") return status(arguments, paths);
    if (command == u"tasks") return tasks(paths);
    const CommandLine::Parsed parsed = CommandLine::parse(arguments);
    if (command == u"history") return LogCommands::history(arguments, paths, parsed.task);
    if (command == u"log") return LogCommands::log(arguments, paths, parsed.task);
    return action(parsed, paths);
}

void showRunningPanel() {
    const QDBusMessage reply = call([](ControlProxy& copy) { return copy.ShowPanel(); });
    if (reply.type() == QDBusMessage::ErrorMessage && reply.errorName() == ControlService::kRefused)
        print(stderr, reply.errorMessage() + u'\n');
}

} // namespace CommandLineTool
