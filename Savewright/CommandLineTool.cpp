#include "CommandLineTool.h"

#include "ControlService.h"
#include "StatusReport.h"
#include "config/Paths.h"
#include "engine/Engine.h"
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
constexpr int kUsageError = 2;

// The commands that act on the running copy, by the method each calls.
const QHash<QString, QString>& methods() {
    static const QHash<QString, QString> table{
        {QStringLiteral("run"), QStringLiteral("Run")},
        {QStringLiteral("dry-run"), QStringLiteral("DryRun")},
        {QStringLiteral("stop"), QStringLiteral("Stop")},
        {QStringLiteral("pause"), QStringLiteral("Pause")},
        {QStringLiteral("resume"), QStringLiteral("Resume")},
        {QStringLiteral("show"), QStringLiteral("ShowPanel")}};
    return table;
}
// Those of them that name a task.
const QStringList kTaskCommands{QStringLiteral("run"), QStringLiteral("dry-run"),
                                QStringLiteral("stop")};

const char kUsage[] =
    "Aufruf: savewright [--repo ORDNER] [--support ORDNER] [BEFEHL]\n"
    "\n"
    "Ohne Befehl läuft Savewright im Infobereich und startet die Tasks nach Plan.\n"
    "\n"
    "Befehle:\n"
    "  status [--json | --line]  Zustand aller Tasks; Rückgabewert 0: alle ok,\n"
    "                            1: eine Warnung, 2: überfällig, nie gelaufen oder Fehler\n"
    "  run NAME                  Task in der laufenden Kopie starten\n"
    "  dry-run NAME              Probelauf in der laufenden Kopie\n"
    "  stop NAME                 Lauf eines Tasks stoppen\n"
    "  pause | resume            automatische Starts anhalten oder fortsetzen\n"
    "  show                      Panel der laufenden Kopie zeigen\n"
    "\n"
    "Optionen:\n"
    "  --repo ORDNER             Skript-Repository (mit Scripts/ und logs/)\n"
    "  --support ORDNER          Ordner mit config.toml\n"
    "  --observe                 nur beobachten, keine Tasks starten\n"
    "  --snapshot DATEI.png      Panel als Bild speichern (--dark, --expand, --wait SEKUNDEN)\n"
    "  --help, --version\n";

void print(FILE* to, const QString& text) {
    std::fputs(text.toUtf8().constData(), to);
}

QDBusMessage call(const QString& method, const QVariantList& arguments = {}) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(ControlService::kService))
        return QDBusMessage::createError(
            QDBusError::ServiceUnknown,
            QStringLiteral("Savewright läuft nicht (keine Kopie auf dem Sitzungsbus)."));
    QDBusMessage m = QDBusMessage::createMethodCall(ControlService::kService, ControlService::kPath,
                                                    ControlService::kInterface, method);
    m.setArguments(arguments);
    return bus.call(m, QDBus::Block, kCallTimeoutMs);
}

// Read from the logs and config.toml by an engine that only looks: it starts
// nothing and remembers nothing beyond this command.
QJsonObject fromLogs(const Paths& paths) {
    QTemporaryDir scratch;
    Engine::silent = true;
    Engine engine(paths, true, {},
                  std::make_unique<QSettings>(scratch.filePath(QStringLiteral("seen.ini")),
                                              QSettings::IniFormat));
    return StatusReport::of(engine, QStringLiteral("logs"));
}

int status(const QStringList& arguments) {
    const Paths paths = Paths::resolve(arguments, arguments.value(0));
    QJsonObject report;
    // The running copy knows which runs are its own; asked only about the same repository.
    const QDBusMessage live = call(QStringLiteral("Status"));
    if (live.type() == QDBusMessage::ReplyMessage && !live.arguments().isEmpty())
        report =
            QJsonDocument::fromJson(live.arguments().constFirst().toString().toUtf8()).object();
    if (report.value(u"repo").toString() != paths.repo) report = fromLogs(paths);
    if (arguments.contains(QStringLiteral("--json")))
        print(stdout, QString::fromUtf8(QJsonDocument(report).toJson(QJsonDocument::Indented)));
    else if (arguments.contains(QStringLiteral("--line")))
        print(stdout, report.value(u"countLine").toString() + u'\n');
    else
        print(stdout, StatusReport::table(report, QDateTime::currentDateTimeUtc()));
    return StatusReport::exitCode(report);
}

int action(const QStringList& arguments, const QString& command) {
    QVariantList parameters;
    if (kTaskCommands.contains(command)) {
        const qsizetype at = arguments.indexOf(command);
        if (at + 1 >= arguments.size() || arguments[at + 1].startsWith(u"--")) {
            print(stderr, QStringLiteral("„%1“ braucht den Namen eines Tasks.\n\n").arg(command) +
                              QString::fromUtf8(kUsage));
            return kUsageError;
        }
        parameters.append(arguments[at + 1]);
    }
    const QDBusMessage reply = call(methods().value(command), parameters);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        print(stderr, reply.errorMessage() + u'\n');
        return 1;
    }
    return 0;
}

} // namespace

std::optional<QString> command(const QStringList& arguments) {
    for (const QString& a : arguments.mid(1)) {
        if (a == u"--help" || a == u"-h") return QStringLiteral("--help");
        if (a == u"--version") return a;
    }
    // The first word, not an option's value, that names a command.
    static const QStringList withValue{QStringLiteral("--repo"), QStringLiteral("--support"),
                                       QStringLiteral("--snapshot"), QStringLiteral("--wait")};
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (withValue.contains(arguments[i])) {
            ++i;
            continue;
        }
        if (arguments[i] == u"status" || methods().contains(arguments[i])) return arguments[i];
    }
    return std::nullopt;
}

int run(int argc, char** argv, const QString& command) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (command == u"--help") {
        print(stdout, QString::fromUtf8(kUsage));
        return 0;
    }
    if (command == u"--version") {
        print(stdout, QStringLiteral("Savewright ") + UpdateChecker::currentVersion() + u'\n');
        return 0;
    }
    if (command == u"status") return status(arguments);
    return action(arguments, command);
}

bool showRunningPanel() {
    return call(QStringLiteral("ShowPanel")).type() == QDBusMessage::ReplyMessage;
}

} // namespace CommandLineTool
