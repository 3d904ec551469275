#include "SavewrightApp.h"

#include "base/Language.h"
#include "base/Text.h"
#include "config/AppConfig.h"
#include "control/CommandLineTool.h"
#include "control/ControlService.h"
#include "engine/InstanceGuards.h"
#include "notify/Notifier.h"
#include "platform/PosixFile.h"
#include "platform/Spawn.h"
#include "shell/Files.h"
#include "shell/SystemWatch.h"
#include "widgets/DryRunWindow.h"
#include "widgets/PanelView.h"
#include "widgets/PanelWindow.h"
#include "widgets/Snapshot.h"
#include "widgets/StatusIcon.h"
#include "widgets/Symbols.h"
#include "widgets/TrayMenu.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QMenu>
#include <QPointer>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kRunsFinishMs = 15000;

int signalPipe[2] = {-1, -1};

void onSignal(int number) {
    const char byte = static_cast<char>(number);
    [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT end the program on the main thread, after every run is stopped.
void installTerminationHandlers(Engine& engine) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return;
    // The application may be a plain QCoreApplication (--headless): never qApp here.
    QCoreApplication* app = QCoreApplication::instance();
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, [&engine] {
        char byte;
        [[maybe_unused]] ssize_t n = ::read(signalPipe[0], &byte, 1);
        engine.shutdown();
        engine.waitForRuns(kRunsFinishMs);
        std::fflush(stdout);
        std::_Exit(0);
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    QObject::connect(app, &QCoreApplication::aboutToQuit, app, [&engine] {
        engine.shutdown();
        engine.waitForRuns(kRunsFinishMs);
    });
}

void addTray(Engine& engine, PanelWindow* window, QMenu* menu) {
    auto* tray = new QSystemTrayIcon(qApp);
    new StatusIcon(&engine, tray);
    // Left click: the panel; right click: the menu.
    tray->setContextMenu(menu);
    QObject::connect(tray, &QSystemTrayIcon::activated, window,
                     [window](QSystemTrayIcon::ActivationReason why) {
                         if (why == QSystemTrayIcon::Trigger) window->toggle();
                     });
    tray->show();
    window->setTray(tray);
}

// The tray icon with the panel, which opens as a window while there is no tray;
// returns what shows the panel on request.
std::function<void()> showInterface(Engine& engine, const QStringList& arguments) {
    auto* panel = new PanelView(&engine, false);
    auto* window = new PanelWindow(panel);
    const auto show = [window = QPointer<PanelWindow>(window)] {
        if (window) window->open();
    };
    QMenu* menu = TrayMenu::make(panel, show, QCoreApplication::applicationFilePath(), arguments);
    // What no program opened is said in the panel, which opens to say it.
    Files::setFailureHandler([panel = QPointer<PanelView>(panel), window](const QString& what) {
        if (!panel) return;
        panel->showOpenFailure(what);
        window->open();
    });
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    // On X11 the icon is shown without a tray too: it appears when a tray starts.
    if (available || QGuiApplication::platformName() != u"wayland") addTray(engine, window, menu);
    if (!available) window->open();
    if (!window->hasTray()) {
        // Wayland's trays are StatusNotifier hosts; Qt takes one only when it
        // is there as the icon is made, so the icon is made when one appears.
        auto* watcher = new QDBusServiceWatcher(QStringLiteral("org.kde.StatusNotifierWatcher"),
                                                QDBusConnection::sessionBus(),
                                                QDBusServiceWatcher::WatchForRegistration, window);
        QObject::connect(watcher, &QDBusServiceWatcher::serviceRegistered, window,
                         [&engine, window, watcher, menu] {
                             addTray(engine, window, menu);
                             watcher->deleteLater();
                         });
    }
    return show;
}

// config.toml's choice, else the locale's; set before any text is made.
void chooseLanguage(const Paths& paths) {
    std::optional<QString> chosen;
    try {
        chosen = Language::fromWord(AppConfig::load(paths.configFile()).language);
    } catch (const ConfigError&) {
        // Said in the panel, in the locale's language.
    }
    Language::choose(chosen.value_or(Language::fromEnvironment()));
}

// Widgets for the tray program and snapshots; none at all without a display.
std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv, bool headless) {
    std::unique_ptr<QCoreApplication> app;
    if (headless) {
        app = std::make_unique<QCoreApplication>(argc, argv);
    } else {
        app = std::make_unique<QApplication>(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        Symbols::setUpTheme();
        QApplication::setWindowIcon(Symbols::icon(QStringLiteral("externaldrive")));
    }
    QCoreApplication::setApplicationName(QStringLiteral("Savewright"));
    QCoreApplication::setOrganizationName(QStringLiteral("Savewright"));
    return app;
}

void snapshot(Engine& engine, const QStringList& arguments, const QString& target) {
    const bool dark = CommandLine::has(arguments, QStringLiteral("--dark"));
    const bool expand = CommandLine::has(arguments, QStringLiteral("--expand"));
    const std::optional<double> wait = Text::parseDecimal(
        CommandLine::value(arguments, QStringLiteral("--wait")).value_or(QString()));
    auto finish = [&engine, target, dark, expand] {
        engine.refreshLogs();
        Snapshot::render(engine, target, dark, expand);
        // Runs the wait started end cleanly, with their logs complete.
        engine.shutdown();
        engine.waitForRuns(kRunsFinishMs);
        std::fflush(stdout);
        std::_Exit(0);
    };
    if (!wait) return finish();
    engine.start();
    if (QSystemTrayIcon::isSystemTrayAvailable())
        new StatusIcon(&engine, new QSystemTrayIcon(qApp));
    QTimer::singleShot(static_cast<int>(std::clamp(*wait, 0.0, 86400.0) * 1000), qApp, finish);
}

} // namespace

namespace SavewrightApp {

int runMirrorScript(const QStringList& arguments) {
    const Paths paths = Paths::resolve(arguments, arguments.value(0));
    Spawn::Options o;
    o.program = "/bin/bash";
    o.arguments = {PosixFile::encodePath(paths.scripts() + QStringLiteral("/run_spiegel.sh"))};
    o.stdinFd = STDIN_FILENO;
    o.stdoutFd = STDOUT_FILENO;
    o.stderrFd = STDERR_FILENO;
    const Spawn::Started started = Spawn::start(o);
    if (!started.pid) return 127;
    return Spawn::reap(started.pid);
}

int run(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (CommandLine::has(arguments, QStringLiteral("--run-spiegel")))
        return runMirrorScript(arguments);
    const Paths paths = Paths::resolve(arguments, arguments.value(0));
    chooseLanguage(paths);
    const CommandLine::Parsed parsed = CommandLine::parse(arguments);
    if (!parsed.error.isEmpty()) {
        // Nothing starts on a line that was not understood.
        std::fputs(parsed.error.toUtf8().constData(), stderr);
        return CommandLineTool::kUsageError;
    }
    if (parsed.command) {
        const int code = CommandLineTool::run(argc, argv, *parsed.command);
        // Nothing to tear down: the bus thread's shutdown only races with the exit.
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(code);
    }

    const std::optional<QString> target =
        CommandLine::value(arguments, QStringLiteral("--snapshot"));
    // A snapshot draws the panel, so it is never without widgets.
    const bool headless = !target && CommandLine::has(arguments, QStringLiteral("--headless"));
    // A snapshot needs no display: without one, Qt draws off screen.
    if (target && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> app = makeApplication(argc, argv, headless);

    const bool observe = CommandLine::has(arguments, QStringLiteral("--observe"));
    const bool support = CommandLine::has(arguments, QStringLiteral("--support"));
    bool observeOnly = observe;
    QStringList extra;
    if (!observe) {
        if (!CommandLine::has(arguments, QStringLiteral("--snapshot")) && !support &&
            InstanceGuards::otherWorkingCopyRunning(paths.appSupport)) {
            // A second start from the menu means "show me": the running copy does.
            if (headless)
                CommandLineTool::print(
                    stderr, Language::translate("SavewrightApp",
                                                "Savewright läuft schon (eine Kopie mit demselben "
                                                "Support-Ordner).\n"));
            else
                CommandLineTool::showRunningPanel();
            return 0;
        }
        if (!support && InstanceGuards::pythonShellRunning()) {
            observeOnly = true;
            extra.append(Language::translate(
                "SavewrightApp",
                "Die Python-Hülle (run.py) läuft noch – Savewright startet keine Tasks."));
        }
    }
    Engine engine(paths, observeOnly, extra);
    if (target) {
        snapshot(engine, arguments, *target);
        return app->exec();
    }
    Notifier notifier;
    notifier.setUp();
    engine.onNewDeletionEvent = [&notifier, &paths](const DeletionEvent& e) {
        notifier.deletionEvent(e, paths.logs() + u'/' + DeletionEvent::pageName());
    };
    engine.onUpdateAvailable = [&notifier](const UpdateInfo& info) {
        notifier.updateAvailable(info);
    };
    engine.onAlert = [&notifier](const Alert& alert) { notifier.alert(alert); };
    QObject::connect(&notifier, &Notifier::taskAction, &engine,
                     [&engine](const QString& name, const QString& key) {
                         for (const auto& t : engine.tasks.value()) {
                             if (t->id != name) continue;
                             if (key == u"start")
                                 engine.runNow(t, false);
                             else
                                 engine.cancel(t);
                         }
                     });
    engine.onDryRunFinished = [headless](const QString& task, const QString& output,
                                         const std::optional<QString>& error) {
        if (headless)
            std::printf("Dry-Run %s: %s\n", task.toUtf8().constData(),
                        DryRunWindow::ending(error).toUtf8().constData());
        else
            DryRunWindow::open(task, output, error);
    };
    // Routed before the first run starts: a SIGTERM must never find a run unguarded.
    installTerminationHandlers(engine);
    engine.start();
    std::function<void()> showPanel;
    if (!headless) {
        showPanel = showInterface(engine, arguments);
        QObject::connect(&notifier, &Notifier::showPanel, qApp, showPanel);
    }
    ControlService control(&engine, showPanel);
    control.publish(QDBusConnection::sessionBus());
    const SystemWatch system(&engine, QDBusConnection::systemBus());
    return app->exec();
}

} // namespace SavewrightApp
