// When a backup needs the person: failures, overdue spells, recoveries and runs
// that hang, each told once, with a summary after a start and memory across restarts.
#include "support/Child.h"
#include "support/EngineFixture.h"

namespace {

class Attention : public EngineFixture {
  protected:
    void SetUp() override { holdingRuns = true; }
    std::unique_ptr<Engine> started() {
        auto e = makeEngine();
        e->onAlert = [this](const Alert& a) { alerts.append(a); };
        e->start();
        return e;
    }
    QStringList titles() {
        QStringList out;
        for (const Alert& a : std::exchange(alerts, {}))
            out.append(a.title + QStringLiteral(" | ") + a.body);
        return out;
    }
    QList<Alert> alerts;
};

const char* kWatched =
    "[[task]]\nname = 'A'\ntype = 'external'\nscript = 'a.sh'\n"
    "[[task]]\nname = 'B'\ntype = 'external'\nscript = 'b.sh'\n"
    "[[task]]\nname = 'Quiet'\ntype = 'external'\nscript = 'q.sh'\nnotify = false\n";

} // namespace

TEST_F(Attention, OncePerStreakAndSpellWithASummaryAndMemory) {
    writeConfig(kWatched);
    writeLog("A", clockNow.addSecs(-3600), "FAILED");
    writeLog("B", clockNow.addSecs(-100 * 3600), "SUCCESS"); // overdue
    writeLog("Quiet", clockNow.addSecs(-3600), "FAILED");
    auto e = started();
    EXPECT_EQ(titles(), QStringList{QStringLiteral("2 Tasks brauchen Aufmerksamkeit | A, B")});
    e->refreshLogs();
    EXPECT_TRUE(titles().isEmpty()) << "nothing new";

    // A restart remembers what was told.
    e.reset();
    e = started();
    EXPECT_TRUE(titles().isEmpty());

    writeLog("A", clockNow.addSecs(-1800), "FAILED");
    e->refreshLogs();
    EXPECT_TRUE(titles().isEmpty()) << "the same streak";
    writeLog("A", clockNow.addSecs(-900), "SUCCESS");
    e->refreshLogs();
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_EQ(alerts[0].kind, Alert::Kind::Recovered);
    EXPECT_EQ(titles(), QStringList{QStringLiteral("A: wieder ok | Sicherung erfolgreich")});
    repo.write(
        QStringLiteral("repo/logs/") +
            LogStore::fileName(LogTime::fromDateTime(clockNow.addSecs(-60)), QStringLiteral("A")),
        "Ferrymat Log \xe2\x80\x94 A\nStarted: x\nScript: a.sh\nStatus: FAILED\n\n--- Output ---\n"
        "rsync error: some files could not be transferred (code 23)\n");
    e->refreshLogs();
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_EQ(alerts[0].logFile, task(*e, "A")->summary.value().latestFile);
    EXPECT_EQ(titles(),
              QStringList{QStringLiteral(
                  "A: Fehler | rsync error: some files could not be transferred (code 23)")});

    // B stays overdue: reminded after remind_hours (24), not before.
    advance(23 * 3600);
    e->refreshLogs();
    EXPECT_TRUE(titles().isEmpty());
    advance(3600);
    e->refreshLogs();
    EXPECT_EQ(titles(), QStringList{QStringLiteral(
                            "B: überfällig | letzte erfolgreiche Sicherung vor 5 Tagen")});
}

TEST_F(Attention, NeverSucceededIsOverdueOnceConfiguredForRedHours) {
    writeConfig("[[task]]\nname = 'N'\ntype = 'external'\nscript = 'n.sh'\nred_hours = 10\n");
    auto e = started();
    EXPECT_TRUE(titles().isEmpty()) << "just configured";
    advance(10 * 3600 + 1);
    e->refreshLogs();
    EXPECT_EQ(titles(), QStringList{QStringLiteral("N: überfällig | noch nie")});
}

TEST_F(Attention, ARealFailingRunAndARunThatHangs) {
    repo.script(QStringLiteral("fails.sh"), "echo 'rsync: connection refused'\nexit 1\n");
    holdScript();
    writeConfig(
        "[[task]]\nname = 'F'\ntype = 'scheduled'\nscript = 'fails.sh'\n"
        "[[task]]\nname = 'H'\ntype = 'scheduled'\nscript = 'hold.sh'\nmax_run_minutes = 1\n");
    auto e = started(); // both never ran: both start at once
    const auto f = task(*e, "F"), h = task(*e, "H");
    ASSERT_TRUE(h->running);
    ASSERT_TRUE(finished(*e, "F"));
    ASSERT_EQ(f->failedRuns.value(), 1);
    EXPECT_EQ(titles(), QStringList{QStringLiteral("F: Fehler | rsync: connection refused")});
    advance(61);
    e->refreshLogs();
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_EQ(alerts[0].kind, Alert::Kind::Hung);
    EXPECT_EQ(alerts[0].title, QStringLiteral("H läuft seit 1 Min."));
    EXPECT_EQ(alerts[0].body, QStringLiteral("länger als 1 Min."));
    alerts.clear();
    advance(60);
    e->refreshLogs();
    EXPECT_TRUE(alerts.isEmpty()) << "once per run";
    release();
    ASSERT_TRUE(finished(*e, "H"));
    e->shutdown();
    EXPECT_TRUE(e->waitForRuns(10000));
}

TEST_F(Attention, AgesAreSaidInTheUnitThatFits) {
    writeConfig("[[task]]\nname = 'M'\ntype = 'external'\nscript = 'm.sh'\nred_hours = 0.01\n"
                "[[task]]\nname = 'S'\ntype = 'external'\nscript = 's.sh'\nred_hours = 2\n");
    writeLog("M", clockNow.addSecs(-10), "SUCCESS");
    writeLog("S", clockNow.addSecs(-10), "SUCCESS");
    auto e = started();
    EXPECT_TRUE(titles().isEmpty());
    advance(300);
    e->refreshLogs();
    EXPECT_EQ(titles(), QStringList{QStringLiteral(
                            "M: überfällig | letzte erfolgreiche Sicherung vor 5 Min.")});
    advance(3 * 3600);
    e->refreshLogs();
    EXPECT_EQ(titles(), QStringList{QStringLiteral(
                            "S: überfällig | letzte erfolgreiche Sicherung vor 3 Std.")});
}

TEST_F(Attention, HungNoticeComesSecondsAfterAShortLimit) {
    holdScript();
    writeConfig("[[task]]\nname = 'H'\ntype = 'scheduled'\nscript = 'hold.sh'\n"
                "max_run_minutes = 0.1\n");
    auto e = started();
    const auto h = task(*e, "H");
    ASSERT_TRUE(h->running);
    advance(5);
    e->refreshLogs();
    EXPECT_TRUE(alerts.isEmpty());
    advance(2);
    e->refreshLogs();
    EXPECT_EQ(titles(), QStringList{QStringLiteral("H läuft seit 7 Sek. | länger als 0,1 Min.")});
    release();
    ASSERT_TRUE(finished(*e, "H"));
    e->shutdown();
    EXPECT_TRUE(e->waitForRuns(10000));
}

TEST_F(Attention, WhatWasToldIsKeptPerRepository) {
    writeConfig(kWatched);
    writeLog("A", clockNow.addSecs(-3600), "FAILED");
    auto e = started();
    EXPECT_EQ(titles(), QStringList{QStringLiteral("A: Fehler | Fehler")});
    e.reset();
    // Another repository's "A" succeeded: no "wieder ok" for this one's failure.
    TempRepo other;
    other.write(
        QStringLiteral("repo/logs/") +
            LogStore::fileName(LogTime::fromDateTime(clockNow.addSecs(-60)), QStringLiteral("A")),
        "Ferrymat Log \xe2\x80\x94 A\nStarted: x\nScript: a.sh\nStatus: SUCCESS\n");
    auto second = makeEngine(false, {}, Paths(other.paths().repo, repo.paths().appSupport));
    second->onAlert = [this](const Alert& a) { alerts.append(a); };
    second->start();
    EXPECT_TRUE(titles().isEmpty());
    second.reset();
    // Back in the first repository the failure is still known as told.
    e = started();
    EXPECT_TRUE(titles().isEmpty());
}

TEST_F(Attention, ASettingsStoreThatCannotBeWrittenIsSaidOnce) {
    writeConfig(kWatched);
    writeLog("A", clockNow.addSecs(-3600), "FAILED");
    // Its folder cannot be made, whoever runs the test: a file stands in its place.
    repo.write(QStringLiteral("blocked"), "x");
    auto e = std::make_unique<Engine>(
        repo.paths(), false, QStringList{},
        std::make_unique<QSettings>(repo.root() + QStringLiteral("/blocked/seen.ini"),
                                    QSettings::IniFormat));
    e->clock = [this] { return Clock::time_point(Clock::duration(clockTicks.load())); };
    e->onAlert = [this](const Alert& a) { alerts.append(a); };
    e->start();
    EXPECT_FALSE(alerts.isEmpty());
    // What was announced is written within moments, together with what follows.
    ASSERT_TRUE(waitUntil([&] { return !e->problems.value().isEmpty(); }, 5000));
    const QStringList problems = e->problems.value();
    ASSERT_EQ(problems.size(), 1) << problems.join(u'\n').toStdString();
    EXPECT_TRUE(problems[0].startsWith(QStringLiteral("Einstellungen nicht speicherbar: ") +
                                       repo.root() + QStringLiteral("/blocked/seen.ini")));
}

// A script of an earlier run (its copy was killed) keeps the task from
// starting: said once it has lasted longer than the task's interval.
TEST_F(Attention, ATaskHeldByAnEarlierRunIsNeverSilentForLong) {
    writeConfig("[[task]]\nname = 'F'\ntype = 'scheduled'\nscript = 'f.sh'\n"
                "interval_minutes = 5\n");
    repo.script(QStringLiteral("f.sh"), "echo ok\n");
    Child leftover(
        QStringLiteral("setsid"),
        {QStringLiteral("/bin/bash"), QStringLiteral("-c"), QStringLiteral("sleep 30; :")},
        ChildSetup::adding(
            {{"SAVEWRIGHT_TASK", "F"}, {"SAVEWRIGHT_LOGS", repo.paths().logs().toUtf8()}}));
    ASSERT_TRUE(leftover.started());
    ASSERT_TRUE(waitUntil(
        [&] { return TaskRunner::earlierRunAlive(QStringLiteral("F"), repo.paths().logs()); }));
    auto e = started(); // due at once, and held
    const auto f = task(*e, "F");
    ASSERT_TRUE(finished(*e, "F"));
    ASSERT_TRUE(f->transientError.value().has_value());
    titles(); // the start-up summary of a never-run task, if any
    advance(4 * 60);
    e->refreshLogs();
    EXPECT_TRUE(titles().isEmpty()) << "within its interval: nothing yet";
    advance(2 * 60);
    e->refreshLogs();
    EXPECT_EQ(titles(), QStringList{QStringLiteral("F: wartet auf einen früheren Lauf | Ein "
                                                   "früherer Lauf läuft noch, seit dem ersten "
                                                   "Startversuch vor 6 Min.")});
    advance(10 * 60);
    e->refreshLogs();
    EXPECT_TRUE(titles().isEmpty()) << "once per spell";
}

TEST_F(Attention, ObserveOnlyAndSwitchedOffTellNothing) {
    writeConfig(kWatched);
    writeLog("A", clockNow.addSecs(-3600), "FAILED");
    auto observer = makeEngine(true);
    observer->onAlert = [this](const Alert& a) { alerts.append(a); };
    observer->start();
    EXPECT_TRUE(alerts.isEmpty());
    writeConfig(QByteArray("[general]\nnotify = false\n") + kWatched);
    auto e = started();
    EXPECT_TRUE(alerts.isEmpty());
}

TEST_F(Attention, ADryRunHandsItsOutputOver) {
    repo.script(QStringLiteral("dry.sh"), "rsync() { echo \"would: $*\"; }\nrsync -a src dst\n");
    writeConfig("[[task]]\nname = 'D'\ntype = 'scheduled'\nscript = 'dry.sh'\n");
    writeLog("D", clockNow.addSecs(-60), "SUCCESS");
    auto e = makeEngine();
    std::optional<QString> shown;
    e->onDryRunFinished = [&](const QString& name, const QString& output,
                              const std::optional<QString>& error) {
        EXPECT_EQ(name, u"D");
        EXPECT_FALSE(error);
        shown = output;
    };
    e->runNow(task(*e, "D"), true);
    ASSERT_TRUE(finished(*e, "D"));
    ASSERT_TRUE(shown.has_value());
    EXPECT_EQ(*shown, u"would: --dry-run -a src dst\n");
}

// A machine that was simply off: what is due at start runs first, and only what
// is still wrong afterwards is told; a task nothing will run is told at once.
TEST_F(Attention, TheStartWaitsForTheRunsDueThen) {
    repo.script(QStringLiteral("ok.sh"), "echo ok\n");
    repo.script(QStringLiteral("fails.sh"), "echo 'rsync: connection refused'\nexit 1\n");
    writeConfig("[[task]]\nname = 'Ok'\ntype = 'scheduled'\nscript = 'ok.sh'\n"
                "[[task]]\nname = 'Bad'\ntype = 'scheduled'\nscript = 'fails.sh'\n"
                "[[task]]\nname = 'Ext'\ntype = 'external'\nscript = 'e.sh'\n");
    for (const char* name : {"Ok", "Bad", "Ext"})
        writeLog(name, clockNow.addSecs(-100 * 3600), "SUCCESS");
    auto e = started();
    EXPECT_EQ(titles(), QStringList{QStringLiteral(
                            "Ext: überfällig | letzte erfolgreiche Sicherung vor 4 Tagen")});
    const auto ok = task(*e, "Ok"), bad = task(*e, "Bad");
    ASSERT_TRUE(finished(*e, "Ok") && finished(*e, "Bad"));
    EXPECT_EQ(bad->failedRuns.value(), 1);
    EXPECT_GT(ok->summary.value().lastSuccess, clockNow.addSecs(-60));
    QStringList told = titles();
    told.sort();
    EXPECT_EQ(told, (QStringList{QStringLiteral("Bad: Fehler | rsync: connection refused"),
                                 QStringLiteral("Bad: überfällig | letzte erfolgreiche Sicherung "
                                                "vor 4 Tagen")}));
}

// A skip is never silent for long: overdue says what holds the task back.
TEST_F(Attention, AnOverdueTaskHeldBackSaysWhy) {
    writeConfig("[[task]]\nname = 'Big'\ntype = 'scheduled'\nscript = 'ok.sh'\n"
                "on_battery = 'skip'\n");
    writeLog("Big", clockNow.addSecs(-100 * 3600), "SUCCESS");
    auto e = makeEngine();
    e->setOnBattery(true);
    e->onAlert = [this](const Alert& a) { alerts.append(a); };
    e->start();
    EXPECT_FALSE(task(*e, "Big")->running);
    EXPECT_EQ(titles(),
              QStringList{QStringLiteral("Big: überfällig – zurückgestellt: Akkubetrieb | "
                                         "letzte erfolgreiche Sicherung vor 4 Tagen")});
}

// Runs ending one after another are written to the settings store together,
// moments later, and nothing told is lost by the wait.
TEST_F(Attention, WhatIsToldIsWrittenOnceForRunsEndingTogether) {
    writeConfig(kWatched);
    writeLog("A", clockNow.addSecs(-3600), "FAILED");
    writeLog("B", clockNow.addSecs(-3600), "FAILED");
    auto e = started();
    titles();
    const QString file = settings()->fileName();
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(file); }, 5000));
    const auto written = [&] { return TempRepo::read(file); };
    const QByteArray before = written();
    for (const char* task : {"A", "B"}) {
        advance(60);
        writeLog(task, clockNow, "SUCCESS");
        e->refreshLogs();
    }
    EXPECT_EQ(titles().size(), 2) << "both recoveries told at once";
    EXPECT_EQ(written(), before) << "not a flush per check";
    ASSERT_TRUE(waitUntil([&] { return written() != before; }, 5000));
    e.reset();
    auto again = started();
    EXPECT_TRUE(titles().isEmpty()) << "a restart repeats nothing";
}
