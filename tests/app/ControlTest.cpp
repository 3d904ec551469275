// The command line and the session-bus service, against the built program
// running on a private bus.
#include "config/Paths.h"
#include "execution/TaskRunner.h"
#include "platform/PosixFile.h"
#include "records/LogStore.h"
#include "support/EventLoop.h"
#include "support/PrivateBus.h"
#include "support/ProgramEnvironment.h"
#include "support/TempRepo.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <future>

#include <gtest/gtest.h>

#ifndef SAVEWRIGHT_BINARY
#error "SAVEWRIGHT_BINARY must name the built program"
#endif

namespace {

class SignalLog : public QObject {
    Q_OBJECT
  public:
    QStringList received;
  public Q_SLOTS:
    void add(const QString& report) { received.append(report); }
};

// Stands in for a running copy on the bus: records what it is asked.
class FakeCopy : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.savewright.Savewright1")
  public:
    int shown = 0;
  public Q_SLOTS:
    void ShowPanel() { ++shown; }
};

struct Outcome {
    int code = -1;
    QByteArray out, err;
    QJsonObject json() const { return QJsonDocument::fromJson(out).object(); }
};

class Control : public ::testing::Test {
  protected:
    QProcessEnvironment environment() const {
        QProcessEnvironment env = programEnvironment();
        if (bus) env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus->address);
        return env;
    }
    QStringList roots() const { return rootsOf(repo); }
    static QStringList rootsOf(const TempRepo& r) {
        return {QStringLiteral("--repo"), r.paths().repo, QStringLiteral("--support"),
                r.paths().appSupport};
    }
    // `locale`: LANG for this call; the tests' own is C.
    Outcome cli(const QStringList& arguments, const QString& locale = {}) const {
        QProcess p;
        QProcessEnvironment env = environment();
        if (!locale.isEmpty()) env.insert(QStringLiteral("LANG"), locale);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(SAVEWRIGHT_BINARY), arguments + roots());
        p.waitForFinished(30000);
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                p.readAllStandardOutput(), p.readAllStandardError()};
    }
    void success(const char* safeName, qint64 secondsAgo) const {
        LogStore store(repo.paths().logs());
        const auto start = Clock::now() - std::chrono::seconds(secondsAgo);
        auto opened = store.open(QString::fromUtf8(safeName), QString::fromUtf8(safeName),
                                 QStringLiteral("x.sh"), start);
        ASSERT_TRUE(opened.fd);
        ASSERT_TRUE(LogStore::finalize(opened.fd.get(), {}, true, start + std::chrono::seconds(1)));
    }
    void startProgram(const QStringList& extra = {}) {
        program.setProcessEnvironment(environment());
        program.start(QStringLiteral(SAVEWRIGHT_BINARY), roots() + extra);
        ASSERT_TRUE(program.waitForStarted());
        ASSERT_TRUE(waitUntil(
            [&] {
                return cli({QStringLiteral("status"), QStringLiteral("--json")})
                           .json()
                           .value(u"source")
                           .toString() == u"live";
            },
            15000));
    }
    void TearDown() override {
        if (program.state() == QProcess::NotRunning) return;
        program.terminate();
        program.waitForFinished(20000);
    }
    static QJsonObject taskOf(const QJsonObject& report, const char* name) {
        for (const QJsonValue& t : report.value(u"tasks").toArray())
            if (t.toObject().value(u"name") == QString::fromUtf8(name)) return t.toObject();
        return {};
    }

    TempRepo repo;
    std::unique_ptr<PrivateBus> bus = std::make_unique<PrivateBus>();
    QProcess program;
};

const QByteArray kTasks = "[[task]]\nname = 'Lang'\ntype = 'scheduled'\nscript = 'lang.sh'\n"
                          "interval_minutes = 100000\ngroup = 'NAS'\n"
                          "[[task]]\nname = 'Extern'\ntype = 'external'\nscript = 'e.sh'\n";

// The members of the interface in an introspection document, one line each:
// "method Run in:s", "signal StatusChanged s".
QStringList members(const QByteArray& xml) {
    QStringList out;
    QXmlStreamReader r(xml);
    bool inside = false;
    while (!r.atEnd()) {
        r.readNext();
        const auto name = r.name();
        if (r.isStartElement() && name == u"interface")
            inside = r.attributes().value(QStringLiteral("name")) == u"org.savewright.Savewright1";
        else if (r.isEndElement() && name == u"interface")
            inside = false;
        else if (inside && r.isStartElement() && (name == u"method" || name == u"signal"))
            out.append(name.toString() + u' ' +
                       r.attributes().value(QStringLiteral("name")).toString());
        else if (inside && r.isStartElement() && name == u"arg")
            out.last() += u' ' + r.attributes().value(QStringLiteral("direction")).toString() +
                          u':' + r.attributes().value(QStringLiteral("type")).toString();
    }
    out.sort();
    return out;
}

} // namespace

// The running copy shows the interface file's members, no more, and its
// errors by their documented names.
TEST_F(Control, TheBusShowsTheInterfaceFile) {
    ASSERT_TRUE(bus->ok());
    repo.write(QStringLiteral("support/config.toml"), kTasks);
    startProgram();
    QDBusConnection client = QDBusConnection::connectToBus(bus->address, QStringLiteral("i"));
    const auto ask = [&](const QString& interface, const QString& method,
                         const QVariantList& arguments = {}) {
        QDBusMessage m = QDBusMessage::createMethodCall(
            QStringLiteral("org.savewright.Savewright"),
            QStringLiteral("/org/savewright/Savewright"), interface, method);
        m.setArguments(arguments);
        return client.call(m, QDBus::Block, 5000);
    };
    const QDBusMessage introspection =
        ask(QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect"));
    const QStringList shown = members(introspection.arguments().value(0).toString().toUtf8());
    const QStringList file = members(TempRepo::read(
        QStringLiteral(SAVEWRIGHT_SOURCE "/Savewright/control/org.savewright.Savewright1.xml")));
    EXPECT_EQ(file.size(), 8);
    EXPECT_EQ(shown, file);
    const QDBusMessage unknown = ask(QStringLiteral("org.savewright.Savewright1"),
                                     QStringLiteral("Run"), {QStringLiteral("Nope")});
    EXPECT_EQ(unknown.errorName(), u"org.savewright.Savewright1.UnknownTask");
    const QDBusMessage refused = ask(QStringLiteral("org.savewright.Savewright1"),
                                     QStringLiteral("Run"), {QStringLiteral("Extern")});
    EXPECT_EQ(refused.errorName(), u"org.savewright.Savewright1.Refused");
}

TEST_F(Control, StatusFromTheLogsWithoutARunningCopy) {
    bus.reset(); // no bus at all: the logs alone answer
    repo.write(QStringLiteral("support/config.toml"),
               kTasks + "[[task]]\nname = 'Alt'\ntype = 'scheduled'\nscript = 'a.sh'\n"
                        "interval_minutes = 100000\n");
    success("Lang", 60);
    success("Alt", 30 * 3600); // past warn_hours (24), before red_hours (72)
    success("Extern", 60);

    const Outcome yellow = cli({QStringLiteral("status"), QStringLiteral("--json")});
    EXPECT_EQ(yellow.code, 1) << yellow.out.constData();
    const QJsonObject report = yellow.json();
    EXPECT_EQ(report.value(u"schema"), 1);
    EXPECT_EQ(report.value(u"source").toString(), u"logs");
    EXPECT_EQ(report.value(u"repo"), repo.paths().repo);
    EXPECT_EQ(report.value(u"countLine").toString(), u"2 ok · 1 Warnung");
    const QJsonObject lang = taskOf(report, "Lang");
    EXPECT_EQ(lang.value(u"group").toString(), u"NAS");
    EXPECT_EQ(lang.value(u"kind").toString(), u"scheduled");
    EXPECT_EQ(lang.value(u"status").toString(), u"green");
    EXPECT_EQ(lang.value(u"latestStatus").toString(), u"SUCCESS");
    EXPECT_FALSE(lang.value(u"running").toBool());
    EXPECT_NEAR(lang.value(u"ageSeconds").toDouble(), 60, 30);
    EXPECT_TRUE(
        QDateTime::fromString(lang.value(u"lastSuccess").toString(), Qt::ISODate).isValid());
    // Every task has every key, absent values as null.
    for (const QJsonValue& v : report.value(u"tasks").toArray())
        EXPECT_EQ(
            v.toObject().keys(),
            QStringLiteral("ageSeconds failureLine group health heldBy heldReason kind lastSuccess "
                           "latestStatus name nextRun progress requireAllVolumes running "
                           "runningHere status waitsForVolumes")
                .split(u' '));
    EXPECT_TRUE(taskOf(report, "Alt").value(u"group").isNull());
    EXPECT_EQ(taskOf(report, "Alt").value(u"status").toString(), u"yellow");
    EXPECT_TRUE(taskOf(report, "Alt").value(u"heldBy").isNull());
    // Due again 100,000 minutes after its success; an external task never by itself.
    const QDateTime altSuccess =
        QDateTime::fromString(taskOf(report, "Alt").value(u"lastSuccess").toString(), Qt::ISODate);
    const QDateTime altNext =
        QDateTime::fromString(taskOf(report, "Alt").value(u"nextRun").toString(), Qt::ISODate);
    EXPECT_EQ(altSuccess.secsTo(altNext), 100000 * 60);
    EXPECT_TRUE(taskOf(report, "Extern").value(u"nextRun").isNull());

    const Outcome line = cli({QStringLiteral("status"), QStringLiteral("--line")});
    EXPECT_EQ(line.out, "2 ok \xc2\xb7 1 Warnung\n");
    EXPECT_EQ(line.code, 1);
    const Outcome table = cli({QStringLiteral("status")});
    EXPECT_TRUE(table.out.startsWith("Task    Gruppe  Art        Status   Letzter Erfolg"))
        << table.out.constData();
    EXPECT_TRUE(table.out.contains(
        "\nAlt             scheduled  Warnung  vor 30 Std.     " +
        altNext.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm")).toUtf8() + '\n'))
        << table.out.constData();

    repo.write(QStringLiteral("support/config.toml"), kTasks);
    EXPECT_EQ(cli({QStringLiteral("status")}).code, 0);
    repo.write(QStringLiteral("support/config.toml"),
               kTasks + "[[task]]\nname = 'Neu'\ntype = 'scheduled'\nscript = 'n.sh'\n");
    EXPECT_EQ(cli({QStringLiteral("status")}).code, 2) << "never ran";
    repo.write(QStringLiteral("support/config.toml"), "[[task]]\nname = 'kaputt'\n");
    const Outcome broken = cli({QStringLiteral("status"), QStringLiteral("--json")});
    EXPECT_EQ(broken.code, 2);
    EXPECT_TRUE(
        broken.json().value(u"problems").toArray().first().toString().startsWith(u"config.toml: "));
    // Nothing of the tray program's: no line on standard output besides the answer.
    EXPECT_FALSE(broken.out.contains("config.toml nicht lesbar"));
}

TEST_F(Control, CommandsActOnTheRunningCopy) {
    ASSERT_TRUE(bus->ok());
    repo.write(QStringLiteral("support/config.toml"), kTasks);
    repo.script(QStringLiteral("lang.sh"), "echo begonnen\nsleep 60\n");
    success("Lang", 60);

    const Outcome none = cli({QStringLiteral("run"), QStringLiteral("Lang")});
    EXPECT_EQ(none.code, 1);
    EXPECT_EQ(none.err, "Savewright läuft nicht (keine Kopie auf dem Sitzungsbus).\n");

    startProgram();
    QDBusConnection watcher = QDBusConnection::connectToBus(bus->address, QStringLiteral("w"));
    SignalLog log;
    const QStringList& changes = log.received;
    ASSERT_TRUE(watcher.connect(QString(), QStringLiteral("/org/savewright/Savewright"),
                                QStringLiteral("org.savewright.Savewright1"),
                                QStringLiteral("StatusChanged"), &log, SLOT(add(QString))));

    EXPECT_EQ(cli({QStringLiteral("run"), QStringLiteral("Lang")}).code, 0);
    ASSERT_TRUE(waitUntil([&] {
        return taskOf(cli({QStringLiteral("status"), QStringLiteral("--json")}).json(), "Lang")
            .value(u"runningHere")
            .toBool();
    }));
    const Outcome twice = cli({QStringLiteral("run"), QStringLiteral("Lang")});
    EXPECT_EQ(twice.code, 1);
    EXPECT_EQ(twice.err, "„Lang“ läuft bereits.\n") << twice.err.constData();
    const Outcome unknown = cli({QStringLiteral("stop"), QStringLiteral("Nichts")});
    EXPECT_EQ(unknown.code, 1);
    EXPECT_EQ(unknown.err, "Unbekannter Task: „Nichts“\n");
    const Outcome external = cli({QStringLiteral("run"), QStringLiteral("Extern")});
    EXPECT_EQ(external.code, 1);
    EXPECT_TRUE(external.err.contains("externer Task")) << external.err.constData();
    EXPECT_EQ(cli({QStringLiteral("run")}).code, 2);

    EXPECT_EQ(cli({QStringLiteral("stop"), QStringLiteral("Lang")}).code, 0);
    QJsonObject stopped;
    ASSERT_TRUE(waitUntil(
        [&] {
            stopped =
                taskOf(cli({QStringLiteral("status"), QStringLiteral("--json")}).json(), "Lang");
            return !stopped.value(u"running").toBool();
        },
        15000));
    EXPECT_EQ(stopped.value(u"latestStatus").toString(), u"ABORTED");

    EXPECT_EQ(cli({QStringLiteral("pause")}).code, 0);
    const QJsonObject paused = cli({QStringLiteral("status"), QStringLiteral("--json")}).json();
    EXPECT_TRUE(paused.value(u"paused").toBool());
    EXPECT_TRUE(paused.value(u"countLine").toString().endsWith(u" · pausiert"));
    EXPECT_EQ(cli({QStringLiteral("resume")}).code, 0);
    EXPECT_FALSE(
        cli({QStringLiteral("status"), QStringLiteral("--json")}).json().value(u"paused").toBool());
    EXPECT_EQ(cli({QStringLiteral("show")}).code, 0);

    // Changes were signalled with the report (a pause undone within a quarter
    // second may go unsaid): the run and its stop at least.
    ASSERT_TRUE(waitUntil([&] { return changes.size() >= 2; }));
    bool sawRunning = false;
    for (const QString& c : changes)
        sawRunning |=
            taskOf(QJsonDocument::fromJson(c.toUtf8()).object(), "Lang").value(u"running").toBool();
    EXPECT_TRUE(sawRunning);

    QDBusConnection::disconnectFromBus(QStringLiteral("w"));
}

TEST_F(Control, AnObservingCopyAnswersButRefusesActions) {
    ASSERT_TRUE(bus->ok());
    repo.write(QStringLiteral("support/config.toml"), kTasks);
    success("Lang", 60);
    startProgram({QStringLiteral("--observe")});
    const QJsonObject report = cli({QStringLiteral("status"), QStringLiteral("--json")}).json();
    EXPECT_TRUE(report.value(u"observeOnly").toBool());
    for (const QStringList& command :
         {QStringList{QStringLiteral("run"), QStringLiteral("Lang")}, {QStringLiteral("pause")}}) {
        const Outcome refused = cli(command);
        EXPECT_EQ(refused.code, 1);
        EXPECT_EQ(refused.err,
                  "Diese Savewright-Kopie beobachtet nur und startet oder stoppt keine Tasks.\n");
    }
}

TEST_F(Control, ASecondStartAsksTheRunningCopyToShowItsPanel) {
    ASSERT_TRUE(bus->ok());
    FakeCopy copy;
    QDBusConnection fake = QDBusConnection::connectToBus(bus->address, QStringLiteral("fake"));
    ASSERT_TRUE(fake.registerObject(QStringLiteral("/org/savewright/Savewright"), &copy,
                                    QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(fake.registerService(QStringLiteral("org.savewright.Savewright")));
    // A working copy of the same person in the process table, whatever runs it.
    QTemporaryDir folder;
    const QString stand = folder.filePath(QStringLiteral("savewright"));
    ASSERT_TRUE(QFile::link(QStringLiteral(SAVEWRIGHT_SLEEPER), stand));
    QProcess working;
    working.setProcessEnvironment(environment());
    working.start(stand, {QStringLiteral("--repo"), repo.paths().repo});
    ASSERT_TRUE(working.waitForStarted());

    QProcess second;
    second.setProcessEnvironment(environment());
    // Without --support, which would skip the guard.
    second.start(QStringLiteral(SAVEWRIGHT_BINARY), {QStringLiteral("--repo"), repo.paths().repo});
    ASSERT_TRUE(waitUntil([&] { return second.state() == QProcess::NotRunning; }, 15000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(copy.shown, 1);
    working.kill();
    working.waitForFinished();
    QDBusConnection::disconnectFromBus(QStringLiteral("fake"));
}

TEST_F(Control, UnknownWordsAreRefusedAndStartNothing) {
    struct Case {
        QStringList arguments;
        const char* named;
    };
    const QList<Case> cases{{{QStringLiteral("statsu")}, "„statsu“"},
                            {{QStringLiteral("--hilfe")}, "„--hilfe“"},
                            {{QStringLiteral("-V")}, "„-V“"},
                            {{QStringLiteral("help")}, "„help“"},
                            {{QStringLiteral("status"), QStringLiteral("--foo")}, "„--foo“"},
                            {{QStringLiteral("--json")}, "„--json“"},
                            {{QStringLiteral("pause"), QStringLiteral("jetzt")}, "„jetzt“"}};
    for (const Case& c : cases) {
        QElapsedTimer timer;
        timer.start();
        // With --support, which used to skip the guard and start a second copy.
        const Outcome o = cli(c.arguments);
        EXPECT_EQ(o.code, 2) << c.arguments.join(u' ').toStdString();
        EXPECT_TRUE(o.err.contains(c.named)) << o.err.constData();
        EXPECT_TRUE(o.err.contains("savewright --help")) << o.err.constData();
        EXPECT_TRUE(o.out.isEmpty()) << "nothing loaded: " << o.out.constData();
        EXPECT_LT(timer.elapsed(), 10000);
    }
}

TEST_F(Control, StatusLineShowsAConfigurationError) {
    repo.write(QStringLiteral("support/config.toml"), "[[task]\nname = 'A'\n");
    const Outcome o = cli({QStringLiteral("status"), QStringLiteral("--line")});
    EXPECT_EQ(o.code, 2);
    EXPECT_TRUE(o.out.startsWith("config.toml: ")) << o.out.constData();
    EXPECT_TRUE(o.out.trimmed().endsWith("0 ok")) << o.out.constData();
    EXPECT_EQ(o.out.count('\n'), 1);
}

TEST_F(Control, StatusNamesTheRepositoryWhenTheRunningCopyHasAnother) {
    ASSERT_TRUE(bus->ok());
    repo.write(QStringLiteral("support/config.toml"), kTasks);
    success("Lang", 60);
    startProgram();
    TempRepo other;
    other.write(QStringLiteral("support/config.toml"), kTasks);
    QProcess p;
    p.setProcessEnvironment(environment());
    p.start(QStringLiteral(SAVEWRIGHT_BINARY),
            QStringList{QStringLiteral("status")} + rootsOf(other));
    ASSERT_TRUE(p.waitForFinished(30000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_TRUE(out.startsWith(QStringLiteral("Repository %1 (aus den Logs).\n"
                                              "Die laufende Kopie arbeitet mit dem Repository %2.")
                                   .arg(other.paths().repo, repo.paths().repo)))
        << out.toStdString();
    // Its own repository's status needs no such line.
    EXPECT_TRUE(cli({QStringLiteral("status")}).out.startsWith("Task"));
}

// Two working copies, each with its own --support: the second never takes
// the first one's name; it waits in line and answers once the first is gone.
TEST_F(Control, ASecondWorkingCopyNeverTakesTheNameOver) {
    ASSERT_TRUE(bus->ok());
    repo.write(QStringLiteral("support/config.toml"), kTasks);
    startProgram();
    TempRepo other;
    other.write(QStringLiteral("support/config.toml"), kTasks);
    QProcess second;
    second.setProcessEnvironment(environment());
    second.start(QStringLiteral(SAVEWRIGHT_BINARY), rootsOf(other));
    ASSERT_TRUE(second.waitForStarted());
    QDBusConnection client = QDBusConnection::connectToBus(bus->address, QStringLiteral("c"));
    const auto ownerRepo = [&] {
        const QDBusMessage reply =
            client.call(QDBusMessage::createMethodCall(QStringLiteral("org.savewright.Savewright"),
                                                       QStringLiteral("/org/savewright/Savewright"),
                                                       QStringLiteral("org.savewright.Savewright1"),
                                                       QStringLiteral("Status")),
                        QDBus::Block, 5000);
        return QJsonDocument::fromJson(reply.arguments().value(0).toString().toUtf8())
            .object()
            .value(u"repo")
            .toString();
    };
    // The second copy is up when it has loaded its configuration.
    ASSERT_TRUE(
        waitUntil([&] { return second.readAllStandardOutput().contains("geladen"); }, 15000));
    waitUntil([] { return false; }, 500);
    EXPECT_EQ(ownerRepo(), repo.paths().repo);
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_TRUE(waitUntil([&] { return ownerRepo() == other.paths().repo; }, 10000));
    second.terminate();
    second.waitForFinished(20000);
    QDBusConnection::disconnectFromBus(QStringLiteral("c"));
}

// Without a running copy: a run is "running" only while some copy runs it,
// not because a killed copy left its log RUNNING.
TEST_F(Control, AKilledCopysRunIsNotRunning) {
    ASSERT_TRUE(bus->ok());
    repo.write(QStringLiteral("support/config.toml"), kTasks);
    repo.script(QStringLiteral("lang.sh"), "echo begonnen\nsleep 60\n");
    success("Lang", 60);
    startProgram();
    EXPECT_EQ(cli({QStringLiteral("run"), QStringLiteral("Lang")}).code, 0);
    ASSERT_TRUE(waitUntil([&] {
        return taskOf(cli({QStringLiteral("status"), QStringLiteral("--json")}).json(), "Lang")
            .value(u"runningHere")
            .toBool();
    }));
    program.kill();
    ASSERT_TRUE(program.waitForFinished(10000));
    const QJsonObject report = cli({QStringLiteral("status"), QStringLiteral("--json")}).json();
    EXPECT_EQ(report.value(u"source").toString(), u"logs");
    EXPECT_EQ(taskOf(report, "Lang").value(u"latestStatus").toString(), u"RUNNING");
    EXPECT_FALSE(taskOf(report, "Lang").value(u"running").toBool());
}

TEST_F(Control, TheStatusTableNeverHandsATerminalAnEscape) {
    // A name with a terminal command in it, and a failure line that clears the screen.
    repo.write(QStringLiteral("support/config.toml"),
               "[[task]]\nname = \"Fotos\\u001b]0;x\\u0007\"\ntype = 'scheduled'\n"
               "script = 'f.sh'\n");
    LogStore store(repo.paths().logs());
    const auto start = Clock::now() - std::chrono::seconds(60);
    auto opened = store.open(QStringLiteral("F"), QStringLiteral("Fotos\x1b]0;x\x07"),
                             QStringLiteral("f.sh"), start);
    ASSERT_TRUE(opened.fd);
    PosixFile::writeAll(opened.fd.get(), "rsync error \x1b[2J\xc2\x9b"
                                         "31m\n");
    ASSERT_TRUE(LogStore::finalize(opened.fd.get(), {}, false, start + std::chrono::seconds(1)));
    for (const char* form : {"", "--line"}) {
        QStringList arguments{QStringLiteral("status")};
        if (*form) arguments.append(QString::fromLatin1(form));
        const Outcome o = cli(arguments);
        EXPECT_FALSE(o.out.contains('\x1b')) << form << o.out.constData();
        EXPECT_FALSE(o.out.contains('\x07')) << form;
        EXPECT_FALSE(o.out.contains("\xc2\x9b")) << form << "a C1 control is one too";
    }
    EXPECT_TRUE(cli({QStringLiteral("status")}).out.contains("Fotos\\x1b]0;x\\x07"));
    // What programs read stays as it is.
    EXPECT_EQ(cli({QStringLiteral("status"), QStringLiteral("--json")})
                  .json()
                  .value(u"tasks")
                  .toArray()
                  .first()
                  .toObject()
                  .value(u"name")
                  .toString(),
              QStringLiteral("Fotos\x1b]0;x\x07"));
}

// A run reporting a hundred percentages: a few signals a second, the last
// one with the run ended.
TEST_F(Control, AProgressFloodIsAFewSignalsASecond) {
    ASSERT_TRUE(bus->ok());
    repo.write(QStringLiteral("support/config.toml"), kTasks);
    repo.script(QStringLiteral("lang.sh"),
                "for i in $(seq 1 100); do echo \"$i%\"; sleep 0.02; done\n");
    success("Lang", 60);
    startProgram();
    QDBusConnection watcher = QDBusConnection::connectToBus(bus->address, QStringLiteral("flood"));
    SignalLog log;
    ASSERT_TRUE(watcher.connect(QString(), QStringLiteral("/org/savewright/Savewright"),
                                QStringLiteral("org.savewright.Savewright1"),
                                QStringLiteral("StatusChanged"), &log, SLOT(add(QString))));
    EXPECT_EQ(cli({QStringLiteral("run"), QStringLiteral("Lang")}).code, 0);
    const auto lastRunning = [&] {
        return log.received.isEmpty() ||
               taskOf(QJsonDocument::fromJson(log.received.last().toUtf8()).object(), "Lang")
                   .value(u"running")
                   .toBool();
    };
    ASSERT_TRUE(waitUntil([&] { return log.received.size() > 1 && !lastRunning(); }, 15000));
    waitUntil([] { return false; }, 600); // anything still on its way
    // About two seconds of run: at 4 a second at most, with room for the ends.
    EXPECT_LE(log.received.size(), 14);
    EXPECT_FALSE(lastRunning());
    QDBusConnection::disconnectFromBus(QStringLiteral("flood"));
}

TEST_F(Control, TasksListsTheConfiguredNames) {
    repo.write(QStringLiteral("support/config.toml"), kTasks);
    const Outcome o = cli({QStringLiteral("tasks")});
    EXPECT_EQ(o.code, 0);
    EXPECT_EQ(o.out, "Lang\nExtern\n");
    repo.write(QStringLiteral("support/config.toml"), "[[task]\n");
    const Outcome broken = cli({QStringLiteral("tasks")});
    EXPECT_EQ(broken.code, 2);
    EXPECT_TRUE(broken.err.startsWith("config.toml: ")) << broken.err.constData();
}

// Without a display: due tasks run, the bus answers, the panel is refused, a
// tray copy beside it says so and leaves, and SIGTERM ends it cleanly.
TEST_F(Control, HeadlessRunsWithoutADisplay) {
    ASSERT_TRUE(bus->ok());
    QProcessEnvironment env = environment();
    // The default support folder, as a service started at login uses it.
    const QString support =
        env.value(QStringLiteral("XDG_DATA_HOME")) + QStringLiteral("/Ferrymat");
    QDir().mkpath(support);
    QFile config(support + QStringLiteral("/config.toml"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write("[[task]]\nname = 'Jetzt'\ntype = 'scheduled'\nscript = 'jetzt.sh'\n");
    config.close();
    repo.script(QStringLiteral("jetzt.sh"), "echo gesichert\n");
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    const QStringList own{QStringLiteral("--repo"), repo.paths().repo};
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(SAVEWRIGHT_BINARY),
                  own + QStringList{QStringLiteral("--headless")});
    ASSERT_TRUE(program.waitForStarted());
    const auto run = [&](const QStringList& arguments, bool display = false) {
        QProcess p;
        p.setProcessEnvironment(display ? environment() : env);
        p.start(QStringLiteral(SAVEWRIGHT_BINARY), arguments + own);
        p.waitForFinished(30000);
        return Outcome{p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
    };
    QJsonObject report;
    ASSERT_TRUE(waitUntil(
        [&] {
            report = run({QStringLiteral("status"), QStringLiteral("--json")}).json();
            return report.value(u"source").toString() == u"live" &&
                   taskOf(report, "Jetzt").value(u"latestStatus").toString() == u"SUCCESS";
        },
        15000));
    const Outcome show = run({QStringLiteral("show")});
    EXPECT_EQ(show.code, 1);
    EXPECT_EQ(show.err, "Diese Savewright-Kopie läuft ohne Anzeige (--headless) und hat kein "
                        "Panel.\n");
    // A tray copy of the same person and support folder: says so, leaves.
    const Outcome tray = run({}, true);
    EXPECT_EQ(tray.code, 0);
    EXPECT_EQ(tray.err, show.err);
    EXPECT_EQ(program.state(), QProcess::Running);
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

TEST(ControlHelp, EveryWordIsInTheHelpAndTheManualPage) {
    QProcess p;
    p.setProcessEnvironment(programEnvironment());
    p.start(QStringLiteral(SAVEWRIGHT_BINARY), {QStringLiteral("--help")});
    ASSERT_TRUE(p.waitForFinished(10000));
    const QString help = QString::fromUtf8(p.readAllStandardOutput());
    QFile page(QStringLiteral(SAVEWRIGHT_SOURCE "/docs/man/savewright.1"));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    // roff writes a dash as "\-".
    const QString manual =
        QString::fromUtf8(page.readAll()).replace(QStringLiteral("\\-"), QStringLiteral("-"));
    for (const QString& word : CommandLine::knownWords()) {
        const QRegularExpression whole(QStringLiteral("(^|[^-\\w])") +
                                           QRegularExpression::escape(word) +
                                           QStringLiteral("($|[^-\\w])"),
                                       QRegularExpression::MultilineOption);
        EXPECT_TRUE(whole.match(help).hasMatch()) << "--help lacks " << word.toStdString();
        EXPECT_TRUE(whole.match(manual).hasMatch()) << "the manual lacks " << word.toStdString();
    }
}

TEST(ControlHelp, HelpAndVersionNeedNoDisplay) {
    for (const char* flag : {"--help", "-h", "--version"}) {
        QProcess p;
        p.setProcessEnvironment(programEnvironment()); // no display, no bus
        p.start(QStringLiteral(SAVEWRIGHT_BINARY), {QString::fromLatin1(flag)});
        ASSERT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitCode(), 0) << flag;
        const QByteArray out = p.readAllStandardOutput();
        EXPECT_TRUE(out.startsWith(flag[2] == 'v' ? "Savewright " : "Aufruf: savewright"))
            << out.constData();
        if (flag[2] != 'v') {
            EXPECT_TRUE(out.contains(
                "Einstellungen: " + programEnvironment().value(QStringLiteral("HOME")).toUtf8() +
                "/.local/share/Ferrymat/config.toml"))
                << out.constData();
        }
    }
}

#include "ControlTest.moc"

// `log --follow` against a real run: its lines appear while it runs, and the
// command ends with the run's outcome. `history` tells the same runs after.
TEST_F(Control, FollowingARunEndsWithItsOutcome) {
    bus.reset(); // no running copy: the logs alone answer
    repo.write(QStringLiteral("support/config.toml"),
               "[[task]]\nname = 'F'\ntype = 'scheduled'\nscript = 'follow.sh'\n");
    repo.script(QStringLiteral("follow.sh"),
                "echo eins\nwhile [ ! -e \"$PWD/../release\" ]; do sleep 0.05; done\n"
                "echo zwei\nexit ${CODE:-0}\n");
    const auto runOnce = [&](const char* code) {
        qputenv("CODE", code);
        auto runner = std::make_shared<TaskRunner>(
            TaskConfig(QStringLiteral("F"), TaskType::Scheduled, QStringLiteral("follow.sh")),
            repo.paths(), false, [](int) {});
        return std::async(std::launch::async, [runner] { return runner->run(Clock::now()); });
    };
    auto run = runOnce("1");
    QProcess follow;
    follow.setProcessEnvironment(environment());
    ASSERT_TRUE(waitUntil(
        [&] { return !QDir(repo.paths().logs()).entryList({QStringLiteral("*.log")}).isEmpty(); }));
    follow.start(
        QStringLiteral(SAVEWRIGHT_BINARY),
        QStringList{QStringLiteral("log"), QStringLiteral("F"), QStringLiteral("--follow")} +
            roots());
    QByteArray seen;
    ASSERT_TRUE(waitUntil([&] {
        follow.waitForReadyRead(50);
        seen += follow.readAllStandardOutput();
        return seen.contains("eins\n");
    }));
    EXPECT_EQ(follow.state(), QProcess::Running) << "the run goes on";
    repo.write(QStringLiteral("release"), "x");
    ASSERT_TRUE(follow.waitForFinished(15000));
    seen += follow.readAllStandardOutput();
    EXPECT_EQ(follow.exitCode(), 1) << "the run failed";
    EXPECT_TRUE(seen.contains("eins\nzwei\n")) << seen.constData();
    EXPECT_TRUE(seen.contains("--- Finished: ")) << "printed to the run's end";
    EXPECT_FALSE(run.get().success);

    // A finished newest log: printed at once, its outcome the exit code.
    QFile::remove(repo.root() + QStringLiteral("/release"));
    auto second = runOnce("0");
    repo.write(QStringLiteral("release"), "x");
    EXPECT_TRUE(second.get().success);
    qunsetenv("CODE");
    const Outcome done =
        cli({QStringLiteral("log"), QStringLiteral("F"), QStringLiteral("--follow")});
    EXPECT_EQ(done.code, 0);
    EXPECT_TRUE(done.out.startsWith("Ferrymat Log")) << done.out.constData();

    const QJsonObject history =
        cli({QStringLiteral("history"), QStringLiteral("F"), QStringLiteral("--json")}).json();
    const QJsonArray runs = history.value(u"runs").toArray();
    ASSERT_EQ(runs.size(), 2);
    EXPECT_EQ(runs[0].toObject().value(u"outcome").toString(), u"success");
    EXPECT_EQ(runs[1].toObject().value(u"outcome").toString(), u"failed");
    EXPECT_EQ(runs[1].toObject().value(u"failureLine").toString(), u"zwei");
    const Outcome table = cli({QStringLiteral("history"), QStringLiteral("F"),
                               QStringLiteral("--limit"), QStringLiteral("1")});
    EXPECT_TRUE(table.out.startsWith("Start ")) << table.out.constData();
    EXPECT_EQ(table.out.count('\n'), 2) << "a heading and one run";
    EXPECT_TRUE(table.out.contains("erfolgreich"));
    EXPECT_EQ(cli({QStringLiteral("log"), QStringLiteral("Nix")}).code, 3);
    EXPECT_EQ(cli({QStringLiteral("history"), QStringLiteral("F"), QStringLiteral("--limit"),
                   QStringLiteral("0")})
                  .code,
              2);
}

TEST_F(Control, SpeaksTheLocalesLanguageUnlessConfigTomlSaysOtherwise) {
    const QByteArray task = "[[task]]\nname = 'A'\ntype = 'external'\nscript = 'a.sh'\n";
    repo.write(QStringLiteral("support/config.toml"), task);
    const QString english = QStringLiteral("en_US.UTF-8"), german = QStringLiteral("de_DE.UTF-8");
    EXPECT_TRUE(cli({QStringLiteral("--help")}, english).out.startsWith("Usage: savewright ["));
    EXPECT_TRUE(cli({QStringLiteral("--help")}, german).out.startsWith("Aufruf: savewright ["));
    EXPECT_TRUE(cli({QStringLiteral("--help")}).out.startsWith("Aufruf: savewright ["));
    const Outcome wrong = cli({QStringLiteral("frobnicate")}, english);
    EXPECT_EQ(wrong.code, 2);
    EXPECT_EQ(QString::fromUtf8(wrong.err),
              QStringLiteral("Unknown command “frobnicate”.\n“savewright --help” shows all "
                             "commands and options.\n"));
    const QString table = QString::fromUtf8(cli({QStringLiteral("status")}, english).out);
    EXPECT_TRUE(table.startsWith(u"Task  Group  Kind      Status     Last success  Next run"))
        << table.toStdString();
    EXPECT_TRUE(table.contains(u"never run")) << table.toStdString();
    EXPECT_TRUE(table.endsWith(u"0 ok · 1 overdue\n")) << table.toStdString();

    repo.write(QStringLiteral("support/config.toml"), "[general]\nlanguage = 'en'\n" + task);
    EXPECT_TRUE(cli({QStringLiteral("status")}, german).out.startsWith("Task  Group"));
    repo.write(QStringLiteral("support/config.toml"), "[general]\nlanguage = 'de'\n" + task);
    EXPECT_TRUE(cli({QStringLiteral("status")}, english).out.startsWith("Task  Gruppe"));
}
