#include "support/EngineFixture.h"

#include "platform/ProcessTable.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace {
const char* kTwoTasks = "[general]\npoll_interval_seconds = 1\n"
                        "[[task]]\nname = 'A'\ntype = 'external'\nscript = 'a.sh'\n"
                        "[[task]]\nname = 'B'\ntype = 'external'\nscript = 'b.sh'\n";
using Lifecycle = EngineFixture;
} // namespace

TEST_F(Lifecycle, MissingConfigAppearsLaterAndBreaksAndHeals) {
    testing::internal::CaptureStdout();
    auto e = makeEngine(
        false,
        {QStringLiteral("Die Python-Hülle (run.py) läuft noch – Savewright startet keine Tasks.")});
    EXPECT_TRUE(testing::internal::GetCapturedStdout().starts_with("config.toml nicht lesbar: "));
    EXPECT_TRUE(e->tasks.value().isEmpty());
    ASSERT_EQ(e->problems.value().size(), 2);
    EXPECT_TRUE(e->problems.value()[1].startsWith(u"config.toml: "));

    writeConfig(kTwoTasks);
    e->tick(); // within 5 seconds of the last refresh: nothing read
    EXPECT_TRUE(e->tasks.value().isEmpty());
    advance(5);
    testing::internal::CaptureStdout();
    e->tick();
    const std::string loaded = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(loaded.starts_with("config.toml geladen: 2 Tasks (")) << loaded;
    EXPECT_TRUE(loaded.ends_with(" +0000)\n")) << loaded;
    ASSERT_EQ(e->tasks.value().size(), 2);
    EXPECT_EQ(e->problems.value().size(), 1) << "the extra problem stays";

    const auto a = task(*e, "A");
    a->running = true; // as if it ran
    writeConfig("[[task]]\nname = 'A'\n");
    advance(5);
    e->tick();
    EXPECT_EQ(e->tasks.value().size(), 2) << "a broken file keeps the old tasks";
    EXPECT_EQ(e->problems.value().last(),
              u"config.toml: config.toml Zeile 0: Task 1: name, type und script sind Pflicht");
    EXPECT_FALSE(e->reloadIfConfigChanged()) << "a broken file is not read again until it changes";

    writeConfig("[[task]]\nname = 'B'\ntype = 'external'\nscript = 'changed.sh'\n"
                "[[task]]\nname = 'A'\ntype = 'external'\nscript = 'a.sh'\n");
    advance(5);
    e->tick();
    EXPECT_EQ(e->problems.value().size(), 1);
    EXPECT_EQ(task(*e, "A"), a) << "the same state object survives a reload";
    EXPECT_TRUE(task(*e, "A")->running);
    EXPECT_EQ(e->tasks.value().first()->config.value().script, u"changed.sh");

    writeConfig("[[task]]\nname = 'A2'\ntype = 'external'\nscript = 'a.sh'\n");
    e->reloadConfig();
    EXPECT_NE(task(*e, "A2"), nullptr);
    EXPECT_EQ(task(*e, "A"), nullptr);
}

TEST_F(Lifecycle, DuplicateNamesAreRefusedWithAProblem) {
    writeConfig(kTwoTasks);
    auto e = makeEngine();
    writeConfig("[[task]]\nname = 'X'\ntype = 'external'\nscript = 'a.sh'\n"
                "[[task]]\nname = 'X'\ntype = 'weekly'\nscript = 'b.sh'\n");
    e->reloadConfig();
    EXPECT_EQ(e->problems.value(),
              QStringList{QStringLiteral(
                  "config.toml: config.toml Zeile 0: Task „X“ ist mehrfach eingetragen")});
    EXPECT_EQ(e->tasks.value().size(), 2);
    EXPECT_NE(task(*e, "A"), nullptr);
    // Two names, one stream of log files: refused too.
    writeConfig("[[task]]\nname = 'a b'\ntype = 'external'\nscript = 'a.sh'\n"
                "[[task]]\nname = 'a_b'\ntype = 'external'\nscript = 'b.sh'\n");
    e->reloadConfig();
    EXPECT_EQ(e->problems.value(),
              QStringList{QStringLiteral("config.toml: config.toml Zeile 0: Task „a_b“ schreibt "
                                         "dieselben Logdateien wie „a b“")});
    EXPECT_NE(task(*e, "A"), nullptr);
}

TEST_F(Lifecycle, PollIntervalFloorAndSingleStart) {
    writeConfig(kTwoTasks);
    auto e = makeEngine();
    e->start();
    e->start();
    EXPECT_EQ(e->pollIntervalMs(), 5000);
    writeConfig("[general]\npoll_interval_seconds = 12.5\n");
    e->reloadConfig();
    EXPECT_EQ(e->pollIntervalMs(), 12500);
    // Numbers that are not finite never reach the timer.
    writeConfig("[general]\npoll_interval_seconds = nan\n");
    e->reloadConfig();
    EXPECT_EQ(e->pollIntervalMs(), 30000);
    writeConfig("[general]\npoll_interval_seconds = inf\n");
    e->reloadConfig();
    EXPECT_EQ(e->pollIntervalMs(), 86400000);
    e->shutdown();
    EXPECT_TRUE(e->shuttingDown);
}

TEST_F(Lifecycle, ChangedConfigIsReloadedWhatEverRefreshedLast) {
    writeConfig("[general]\npoll_interval_seconds = 5\n");
    auto e = makeEngine(true);
    writeConfig("[general]\npoll_interval_seconds = 5\n[[task]]\nname = 'N'\ntype = "
                "'external'\nscript = 'n.sh'\n");
    for (int i = 0; i < 3; ++i) {
        // Each poll refreshes just before the tick looks.
        advance(5);
        e->poll();
        e->tick();
    }
    EXPECT_NE(task(*e, "N"), nullptr);
}

// A started engine reads config.toml the moment it changes, also when an editor
// replaces the file, and when it appears in a folder that had none.
TEST_F(Lifecycle, AChangedConfigIsReadAtOnce) {
    auto e = makeEngine();
    e->start(); // no config.toml yet; the clock stands still from here on
    const auto named = [&](const char* name) {
        return waitUntil([&] { return task(*e, name) != nullptr; }, 3000);
    };
    writeConfig("[[task]]\nname = 'A'\ntype = 'external'\nscript = 'a.sh'\n");
    EXPECT_TRUE(named("A")) << "a new file";
    writeConfig("[[task]]\nname = 'B'\ntype = 'external'\nscript = 'b.sh'\n");
    EXPECT_TRUE(named("B")) << "written in place";
    // As editors save: a new file renamed over the old one, then changed again.
    const QString replacement = repo.write(QStringLiteral("support/.config.toml.new"),
                                           "[[task]]\nname = 'C'\ntype = 'external'\n"
                                           "script = 'c.sh'\n");
    ASSERT_EQ(
        ::rename(replacement.toUtf8().constData(), repo.paths().configFile().toUtf8().constData()),
        0);
    EXPECT_TRUE(named("C")) << "renamed over it";
    writeConfig("[[task]]\nname = 'D'\ntype = 'external'\nscript = 'd.sh'\n");
    EXPECT_TRUE(named("D")) << "the replacement is watched too";
}

TEST_F(Lifecycle, ShutdownCancelsEveryRunAndWaits) {
    writeConfig("[[task]]\nname = 'One'\ntype = 'scheduled'\nscript = 'long.sh'\n"
                "[[task]]\nname = 'Two'\ntype = 'scheduled'\nscript = 'long.sh'\n");
    repo.script(QStringLiteral("long.sh"), "sleep 300 &\necho $! >> \"$PWD/../pids\"\nwait\n");
    auto e = makeEngine();
    e->startReady();
    ASSERT_TRUE(task(*e, "One")->running && task(*e, "Two")->running);
    ASSERT_TRUE(waitUntil(
        [&] { return TempRepo::read(repo.root() + QStringLiteral("/pids")).count('\n') == 2; }));
    testing::internal::CaptureStdout();
    e->shutdown();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Beenden: 2 laufende(n) Task(s) abbrechen\n");
    for (const QByteArray& pid : TempRepo::read(repo.root() + QStringLiteral("/pids")).split('\n'))
        if (!pid.isEmpty()) {
            const auto entry = ProcessTable::entry(pid.toInt());
            EXPECT_TRUE(!entry || entry->zombie()) << pid.constData();
        }
    ASSERT_TRUE(waitUntil([&] { return !task(*e, "One")->running && !task(*e, "Two")->running; }));
    for (const char* name : {"One", "Two"}) {
        const QByteArray log = TempRepo::read(*task(*e, name)->summary.value().latestFile);
        EXPECT_TRUE(log.contains(
            "\n--- Abgebrochen: Savewright beendet (Neustart oder Ausschalten) ---\n"));
        EXPECT_EQ(task(*e, name)->summary.value().latestStatus, LogStatus::Aborted);
    }
    e->startReady();
    EXPECT_FALSE(task(*e, "One")->running) << "nothing starts after shutdown";
}

TEST_F(Lifecycle, ShutdownAlsoStopsARunOfATaskTheReloadDropped) {
    writeConfig("[[task]]\nname = 'Old'\ntype = 'scheduled'\nscript = 'long.sh'\n");
    repo.script(QStringLiteral("long.sh"), "sleep 300 &\necho $! >> \"$PWD/../pids\"\nwait\n");
    auto e = makeEngine();
    e->startReady();
    ASSERT_TRUE(
        waitUntil([&] { return QFileInfo::exists(repo.root() + QStringLiteral("/pids")); }));
    writeConfig("[[task]]\nname = 'Renamed'\ntype = 'external'\nscript = 'long.sh'\n");
    e->reloadConfig();
    ASSERT_EQ(task(*e, "Old"), nullptr);
    testing::internal::CaptureStdout();
    e->shutdown();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Beenden: 1 laufende(n) Task(s) abbrechen\n");
    ASSERT_TRUE(e->waitForRuns(10000));
    const QStringList logs = LogStore(repo.paths().logs()).files(QStringLiteral("Old"));
    ASSERT_EQ(logs.size(), 1);
    EXPECT_TRUE(TempRepo::read(logs[0]).contains(
        "\n--- Abgebrochen: Savewright beendet (Neustart oder Ausschalten) ---\n"));
    const auto child = ProcessTable::entry(
        TempRepo::read(repo.root() + QStringLiteral("/pids")).trimmed().toInt());
    EXPECT_TRUE(!child || child->zombie());
}

TEST_F(Lifecycle, RefreshFollowsOtherCopiesAndExternalPrograms) {
    writeConfig(
        "[[task]]\nname = 'S'\ntype = 'scheduled'\nscript = 's.sh'\n"
        "[[task]]\nname = 'Ext'\ntype = 'external'\nscript = 'e.sh'\nwatch_volumes = ['/v']\n"
        "[[task]]\nname = 'User'\ntype = 'scheduled'\nscript = 'u.sh'\nwatch_volumes = ['/v']\n");
    writeLog("S", clockNow.addSecs(-23 * 3600), "RUNNING");
    // A copy that was killed left the log RUNNING: no run holds the task's lock.
    auto observer = makeEngine(true);
    EXPECT_FALSE(task(*observer, "S")->runningElsewhere);
    // The run of another copy holds it while it lasts.
    const QString lock = TaskRunner::lockFile(repo.paths(), QStringLiteral("S"));
    QDir().mkpath(QFileInfo(lock).path());
    PosixFile::Lock held = PosixFile::tryLock(lock);
    ASSERT_TRUE(held.fd);
    observer->refreshLogs();
    EXPECT_TRUE(task(*observer, "S")->runningElsewhere);
    EXPECT_EQ(task(*observer, "S")->status(clockNow), TaskStatus::Running);
    auto working = makeEngine(false);
    EXPECT_FALSE(task(*working, "S")->runningElsewhere);
    advance(2 * 3600);
    observer->refreshLogs();
    EXPECT_FALSE(task(*observer, "S")->runningElsewhere)
        << "a day-old RUNNING log is a dead writer";
    held.fd.reset();

    // External: RUNNING and written to within 10 minutes counts as running.
    const QString external = writeLog("Ext", clockNow.addSecs(-3600), "RUNNING");
    setModified(external, clockNow.addSecs(-9 * 60));
    working->refreshLogs();
    EXPECT_TRUE(task(*working, "Ext")->runningElsewhere);
    advance(2 * 60);
    working->refreshLogs();
    EXPECT_FALSE(task(*working, "Ext")->runningElsewhere);
    // Due by its own interval with its volume in use elsewhere: waiting.
    EXPECT_FALSE(task(*working, "Ext")->waiting());
    task(*working, "User")->running = true;
    working->refreshLogs();
    EXPECT_TRUE(task(*working, "Ext")->waiting());
    task(*working, "User")->running = false;
    working->refreshLogs();
    EXPECT_FALSE(task(*working, "Ext")->waiting());
    EXPECT_FALSE(working->volumeBusy(*task(*working, "S")));
}

namespace {

// Sets a file's or folder's modification time to the nanosecond.
void stampAt(const QString& path, qint64 ns) {
    const timespec t{static_cast<time_t>(ns / 1'000'000'000),
                     static_cast<long>(ns % 1'000'000'000)};
    const timespec both[2] = {t, t};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.toUtf8().constData(), both, 0), 0);
}

} // namespace

TEST_F(Lifecycle, AChangeWithinTheClocksTwoSecondsIsNotTrustedToTheStamp) {
    writeConfig("[[task]]\nname = 'A'\ntype = 'external'\nscript = 'a.sh'\n");
    const QString log = writeLog("A", clockNow.addSecs(-600), "SUCCESS");
    const qint64 nowNs = clockNow.toMSecsSinceEpoch() * 1'000'000;
    stampAt(repo.paths().logs(), nowNs - 3'600'000'000'000); // the names are settled
    stampAt(log, nowNs - 500'000'000);                       // the file is not
    auto e = makeEngine();
    const auto a = task(*e, "A");
    EXPECT_EQ(a->summary.value().latestStatus, LogStatus::Success);
    // Rewritten in place with the same size and the same stamp, within the
    // clock's two seconds: the cached summary is not trusted.
    const auto rewrite = [&](const QByteArray& from, const QByteArray& to) {
        QByteArray text = TempRepo::read(log);
        text.replace(from, to);
        repo.write(QStringLiteral("repo/logs/") + QFileInfo(log).fileName(), text);
        stampAt(log, nowNs - 500'000'000);
    };
    rewrite("Status: SUCCESS\n", "Status: FAILED\n\n");
    e->refreshLogs();
    EXPECT_EQ(a->summary.value().latestStatus, LogStatus::Failed);
    // Once the clock is well past the stamp, the same stamp would be trusted;
    // the kernel's notice of the write still has the file read again.
    advance(5);
    e->refreshLogs();
    rewrite("Status: FAILED\n\n", "Status: SUCCESS\n");
    e->refreshLogs();
    EXPECT_EQ(a->summary.value().latestStatus, LogStatus::Success);
}
