#include "support/EngineFixture.h"

#include "base/MainThread.h"
#include "support/Child.h"

#include <thread>

namespace {

class Starts : public EngineFixture {
  protected:
    // Runs wait until a test ends them; the few tests about runs that race a
    // stop or another copy run their scripts on threads, as the program does.
    void SetUp() override {
        holdingRuns = true;
        repo.script(QStringLiteral("quick.sh"), "echo ok\n");
        repo.script(QStringLiteral("fails.sh"), "echo 'broken: no disk'\nexit 1\n");
        repo.script(QStringLiteral("hold.sh"),
                    "touch \"$PWD/../started\"\n"
                    "while [ ! -e \"$PWD/../release\" ]; do sleep 0.05; done\n");
    }
};

} // namespace

TEST_F(Starts, RedTasksFirstWhileAVolumeIsBusy) {
    writeConfig(
        "[[task]]\nname = 'Other'\ntype = 'scheduled'\nscript = 'hold.sh'\nwatch_volumes = ['/v']\n"
        "[[task]]\nname = 'Red'\ntype = 'scheduled'\nscript = 'hold.sh'\nwatch_volumes = ['/v']\n"
        "[[task]]\nname = 'Green'\ntype = 'scheduled'\nscript = 'quick.sh'\n"
        "[[task]]\nname = 'Asked'\ntype = 'scheduled'\nscript = 'quick.sh'\n");
    mounted = {QStringLiteral("/v")};
    writeLog("Other", clockNow.addSecs(-60), "SUCCESS"); // green and not due
    for (const char* due : {"Green", "Asked"})
        writeLog(due, clockNow.addSecs(-3600), "SUCCESS");
    auto e = makeEngine();
    const auto other = task(*e, "Other"), red = task(*e, "Red"), green = task(*e, "Green");
    other->running = true; // another run holds the volume
    e->startReady();
    EXPECT_TRUE(red->waiting()) << "its volume is busy";
    EXPECT_FALSE(green->running) << "a red start in flight holds due green tasks back";
    e->runNow(task(*e, "Asked"), false);
    EXPECT_TRUE(task(*e, "Asked")->running) << "a green task already waiting starts meanwhile";

    other->running = false;
    e->startReady();
    deliverPosted(); // the volume's answer
    ASSERT_TRUE(red->running);
    EXPECT_TRUE(red->startedRed);
    EXPECT_FALSE(red->waiting());
    e->startReady();
    EXPECT_FALSE(green->running) << "nor while the red task runs";
    release();
    ASSERT_TRUE(finished(*e, "Red"));
    ASSERT_TRUE(finished(*e, "Green"));
    EXPECT_EQ(green->summary.value().latestStatus, LogStatus::Success);
    EXPECT_GE(green->summary.value().lastSuccess, clockNow.addSecs(-60));
    EXPECT_EQ(probes, QStringList{QStringLiteral("/v")});
}

TEST_F(Starts, PauseHoldsTheScheduleButNotTheUser) {
    writeConfig("[[task]]\nname = 'T'\ntype = 'scheduled'\nscript = 'quick.sh'\n");
    auto e = makeEngine();
    e->setPaused(true);
    e->startReady();
    EXPECT_FALSE(task(*e, "T")->running);
    e->runNow(task(*e, "T"), false);
    EXPECT_TRUE(task(*e, "T")->running);
    ASSERT_TRUE(finished(*e, "T"));
    EXPECT_EQ(task(*e, "T")->status(e->now), TaskStatus::Green);
}

// Let go, what is due starts at once, not at the next poll.
TEST_F(Starts, ResumingStartsWhatIsDueAtOnce) {
    writeConfig("[[task]]\nname = 'T'\ntype = 'scheduled'\nscript = 'quick.sh'\n");
    auto e = makeEngine();
    e->setPaused(true);
    e->start();
    EXPECT_FALSE(task(*e, "T")->running);
    e->setPaused(false);
    EXPECT_TRUE(task(*e, "T")->running || task(*e, "T")->probing());
    ASSERT_TRUE(finished(*e, "T"));
}

TEST_F(Starts, FailedProbeHoldsScheduledStartsForAMinute) {
    writeConfig("[[task]]\nname = 'T'\ntype = 'on_mount'\nscript = 'quick.sh'\n"
                "watch_volumes = ['/mnt/A', '/mnt/B']\nrequire_all_volumes = true\n");
    mounted = {QStringLiteral("/mnt/A"), QStringLiteral("/mnt/B")};
    auto e = makeEngine();
    e->volumeResponds = [this](const QString& v, Engine::Answer answer) {
        probes.append(v);
        answer(false);
    };
    const auto t = task(*e, "T");
    e->startReady();
    deliverPosted();
    ASSERT_FALSE(t->probing());
    EXPECT_EQ(probes.size(), 2);
    EXPECT_FALSE(t->transientError.value()) << "a scheduled start fails silently";
    advance(59);
    e->refreshLogs();
    e->startReady();
    EXPECT_EQ(probes.size(), 2);
    e->runNow(t, false);
    deliverPosted();
    ASSERT_FALSE(t->probing());
    EXPECT_EQ(probes.size(), 4) << "a user's start probes at once";
    EXPECT_EQ(t->transientError.value(), QStringLiteral("Volume fehlt: A, B"));
    advance(61);
    e->refreshLogs();
    e->startReady();
    deliverPosted();
    ASSERT_FALSE(t->probing());
    EXPECT_EQ(probes.size(), 6);
}

// "Start all" or a dry run asked for while a start asks its volume: the task
// runs once, as first asked.
TEST_F(Starts, AStartThatAsksItsVolumeIsOneStart) {
    writeConfig("[[task]]\nname = 'T'\ntype = 'on_mount'\nscript = 'quick.sh'\n"
                "watch_volumes = ['/mnt/A']\nmax_logs = 100\n");
    mounted = {QStringLiteral("/mnt/A")};
    auto e = makeEngine();
    QList<Engine::Answer> asked;
    e->volumeResponds = [&](const QString&, Engine::Answer answer) { asked.append(answer); };
    const auto t = task(*e, "T");
    e->runNow(t, false);
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(t->probing());
    EXPECT_FALSE(t->waiting()) << "asking is not waiting";
    e->runAll();
    e->runNow(t, true);
    EXPECT_EQ(t->pending.value(),
              (PendingStart{PendingStart::Origin::ThisTask, false, PendingStart::Phase::Probing}));
    asked.takeFirst()(true);
    deliverPosted();
    ASSERT_TRUE(t->running);
    EXPECT_FALSE(t->pending.value());
    ASSERT_TRUE(finished(*e, "T"));
    e->startReady();
    EXPECT_TRUE(asked.isEmpty()) << "nothing else is on its way";
    EXPECT_FALSE(t->running || t->pending.value());
    EXPECT_EQ(QDir(repo.paths().logs()).entryList(QDir::Files).size(), 1);
}

TEST_F(Starts, FailingScriptBacksOffInsteadOfLooping) {
    writeConfig("[[task]]\nname = 'F'\ntype = 'scheduled'\nscript = 'fails.sh'\nmax_logs = 100\n");
    auto e = makeEngine();
    const auto f = task(*e, "F");
    e->startReady();
    ASSERT_TRUE(finished(*e, "F"));
    QCoreApplication::processEvents();
    EXPECT_FALSE(f->running) << "no immediate restart after a failure";
    EXPECT_EQ(f->failedRuns.value(), 1);
    EXPECT_EQ(f->errorText(), QStringLiteral("broken: no disk"));
    advance(59);
    e->refreshLogs();
    e->startReady();
    EXPECT_FALSE(f->running);
    advance(1);
    e->refreshLogs();
    e->startReady();
    EXPECT_TRUE(f->running);
    ASSERT_TRUE(finished(*e, "F"));
    EXPECT_EQ(f->failedRuns.value(), 2);
    EXPECT_EQ(*f->retryAfter.value(), clockNow.addSecs(120));
    EXPECT_EQ(Engine::retryDelaySeconds(3), 240);
    EXPECT_EQ(Engine::retryDelaySeconds(7), 3600);
    EXPECT_EQ(Engine::retryDelaySeconds(60), 3600);
    // The user's start resets the back-off.
    e->runNow(f, false);
    EXPECT_TRUE(f->running);
    ASSERT_TRUE(finished(*e, "F"));
    EXPECT_EQ(f->failedRuns.value(), 1);
    EXPECT_EQ(QDir(repo.paths().logs()).entryList(QDir::Files).size(), 3);
}

TEST_F(Starts, WaitingForABusyVolumeKeepsTheBackOff) {
    writeConfig(
        "[[task]]\nname = 'F'\ntype = 'scheduled'\nscript = 'fails.sh'\nwatch_volumes = ['/v']\n"
        "[[task]]\nname = 'O'\ntype = 'scheduled'\nscript = 'quick.sh'\nwatch_volumes = ['/v']\n"
        "[[task]]\nname = 'G'\ntype = 'scheduled'\nscript = 'quick.sh'\n");
    mounted = {QStringLiteral("/v")};
    writeLog("O", clockNow.addSecs(-60), "SUCCESS");   // green, not due
    writeLog("G", clockNow.addSecs(-1795), "SUCCESS"); // due in 5 s
    auto e = makeEngine();
    const auto f = task(*e, "F"), o = task(*e, "O"), g = task(*e, "G");
    e->startReady();
    ASSERT_TRUE(finished(*e, "F"));
    ASSERT_EQ(f->failedRuns.value(), 1);

    o->running = true; // another run holds the volume while F is due again
    advance(10);
    e->refreshLogs();
    e->startReady();
    EXPECT_TRUE(f->waiting());
    EXPECT_TRUE(g->running) << "a red task held by its back-off holds no green task back";
    ASSERT_TRUE(finished(*e, "G"));
    o->running = false;
    e->refreshLogs();
    e->startReady();
    EXPECT_FALSE(f->running || f->probing()) << "the volume is free, but the back-off still holds";
    advance(50);
    e->refreshLogs();
    e->startReady();
    ASSERT_TRUE(finished(*e, "F")) << "the back-off is over";
    EXPECT_EQ(f->failedRuns.value(), 2);
}

TEST_F(Starts, ASuccessTheLogsCannotShowStillCountsForTheSchedule) {
    // The script removes its own log while it runs: no log shows the success.
    repo.script(QStringLiteral("vanish.sh"), "rm -f \"$PWD\"/logs/*_V.log\necho done\n");
    writeConfig("[[task]]\nname = 'V'\ntype = 'scheduled'\nscript = 'vanish.sh'\n");
    auto e = makeEngine();
    const auto v = task(*e, "V");
    e->startReady();
    ASSERT_TRUE(finished(*e, "V"));
    ASSERT_TRUE(v->unseenSuccess.value().has_value());
    EXPECT_FALSE(v->summary.value().lastSuccess);
    e->startReady();
    EXPECT_FALSE(v->running) << "not due again at once";
}

TEST_F(Starts, NoStartBesideALiveProcessOfAnEarlierRun) {
    writeConfig("[[task]]\nname = 'Fotos NAS'\ntype = 'scheduled'\nscript = 'quick.sh'\n");
    // What a run of a copy that was killed left behind: its script, in a group
    // of its own as the runner starts it, and an agent that script started.
    const QStringList script{QStringLiteral("/bin/bash"), QStringLiteral("-c"),
                             QStringLiteral("sleep 30; :")};
    const QByteArray logs = repo.paths().logs().toUtf8();
    // The same task name writing to another repository's logs is another task.
    const Child elsewhere(
        QStringLiteral("setsid"), script,
        ChildSetup::adding({{"SAVEWRIGHT_TASK", "Fotos_NAS"},
                            {"SAVEWRIGHT_LOGS", repo.root().toUtf8() + "/other/logs"}}));
    const ChildSetup here =
        ChildSetup::adding({{"SAVEWRIGHT_TASK", "Fotos_NAS"}, {"SAVEWRIGHT_LOGS", logs}});
    Child leftover(QStringLiteral("setsid"), script, here);
    const Child agent(QStringLiteral("setsid"),
                      {QStringLiteral("/bin/sleep"), QStringLiteral("30")}, here);
    ASSERT_TRUE(leftover.started() && elsewhere.started() && agent.started());
    auto e = makeEngine();
    const auto t = task(*e, "Fotos NAS");
    ASSERT_TRUE(waitUntil([&] {
        return TaskRunner::earlierRunAlive(QStringLiteral("Fotos_NAS"), repo.paths().logs());
    }));
    e->startReady();
    ASSERT_TRUE(finished(*e, "Fotos NAS"));
    EXPECT_EQ(t->errorText(), QStringLiteral("Ein früherer Lauf läuft noch"));
    EXPECT_TRUE(LogStore(repo.paths().logs()).files(QStringLiteral("Fotos_NAS")).isEmpty())
        << "no log of a run that did not run";
    EXPECT_EQ(t->failedRuns.value(), 0);
    e->startReady();
    EXPECT_FALSE(t->running) << "tried again in a minute, not in a loop";
    leftover.kill();
    advance(61);
    e->refreshLogs();
    e->startReady();
    EXPECT_TRUE(t->running);
    ASSERT_TRUE(finished(*e, "Fotos NAS"));
    EXPECT_EQ(t->summary.value().latestStatus, LogStatus::Success)
        << "once the script is gone; the agent it left holds nothing";
}

TEST_F(Starts, ALogThatCannotBeWrittenShowsOnTheRow) {
    writeConfig("[[task]]\nname = 'Q'\ntype = 'scheduled'\nscript = 'quick.sh'\n");
    repo.write(QStringLiteral("repo/logs"), "a file where the folder belongs");
    auto e = makeEngine();
    const auto q = task(*e, "Q");
    e->startReady();
    ASSERT_TRUE(finished(*e, "Q"));
    ASSERT_TRUE(q->transientError.value().has_value());
    EXPECT_TRUE(q->errorText()->startsWith(u"Log nicht schreibbar: "))
        << q->errorText()->toStdString();
    EXPECT_EQ(q->status(clockNow), TaskStatus::Error);
}

TEST_F(Starts, DryRunFailureShowsAndObserveOnlyStartsNothing) {
    writeConfig("[[task]]\nname = 'F'\ntype = 'scheduled'\nscript = 'fails.sh'\n"
                "watch_volumes = ['/v']\nmount_url = 'smb://nas/v'\n"
                "[[task]]\nname = 'E'\ntype = 'external'\nscript = 'fails.sh'\n");
    mounted = {QStringLiteral("/v")};
    writeLog("F", clockNow.addSecs(-60), "SUCCESS"); // not due: no real run follows the dry one
    auto e = makeEngine();
    e->runNow(task(*e, "E"), false);
    EXPECT_FALSE(task(*e, "E")->waiting()) << "external tasks never start here";
    e->runNow(task(*e, "F"), true);
    ASSERT_TRUE(finished(*e, "F"));
    EXPECT_EQ(task(*e, "F")->transientError.value(), QStringLiteral("Script exited with code 1"));
    EXPECT_EQ(QDir(repo.paths().logs()).entryList(QDir::Files).size(), 1)
        << "dry runs leave no log";

    auto observer = makeEngine(true);
    mounted.clear();
    observer->start();
    observer->poll();
    observer->runNow(task(*observer, "F"), false);
    observer->runAll();
    EXPECT_FALSE(task(*observer, "F")->running || task(*observer, "F")->waiting());
    EXPECT_TRUE(reachChecks.isEmpty()) << "no mount attempt in observe-only mode";
}

TEST_F(Starts, RunAllSkipsMissingVolumesAndCancelStops) {
    holdingRuns = false;
    writeConfig("[[task]]\nname = 'H'\ntype = 'scheduled'\nscript = 'hold.sh'\n"
                "[[task]]\nname = 'V'\ntype = 'on_mount'\nscript = 'quick.sh'\nwatch_volumes = "
                "['/gone']\n");
    writeLog("H", clockNow, "SUCCESS");
    auto e = makeEngine();
    e->runAll();
    EXPECT_TRUE(task(*e, "H")->running);
    EXPECT_FALSE(task(*e, "V")->waiting() || task(*e, "V")->probing());
    e->cancel(task(*e, "V")); // no runner: nothing happens
    ASSERT_TRUE(
        waitUntil([&] { return QFileInfo::exists(repo.root() + QStringLiteral("/started")); }));
    e->cancel(task(*e, "H"));
    ASSERT_TRUE(finished(*e, "H"));
    EXPECT_EQ(task(*e, "H")->summary.value().latestStatus, LogStatus::Aborted);
}

// However soon the stop comes, before or after the script started: a stop,
// never a failure with its back-off, notice or /fail ping.
TEST_F(Starts, AStopRightAfterARunIsNoFailure) {
    holdingRuns = false;
    writeConfig("[[task]]\nname = 'H'\ntype = 'scheduled'\nscript = 'hold.sh'\n");
    writeLog("H", clockNow, "SUCCESS");
    auto e = makeEngine();
    QList<Alert> alerts;
    e->onAlert = [&](const Alert& a) { alerts.append(a); };
    e->start();
    const auto h = task(*e, "H");
    for (int i = 0; i < 5; ++i) {
        e->runNow(h, false);
        ASSERT_TRUE(h->running);
        e->cancel(h);
        ASSERT_TRUE(finished(*e, "H"));
        EXPECT_EQ(h->summary.value().latestStatus, LogStatus::Aborted) << i;
        EXPECT_EQ(h->failedRuns.value(), 0) << i;
        EXPECT_EQ(h->status(e->now), TaskStatus::Green) << i;
        advance(2); // the next run's log takes the next second
    }
    EXPECT_TRUE(alerts.isEmpty());
}

// What the person stopped does not start again by itself at once, though it is due.
TEST_F(Starts, AStoppedDueTaskWaitsBeforeTheScheduleStartsItAgain) {
    holdingRuns = false;
    writeConfig("[[task]]\nname = 'H'\ntype = 'scheduled'\nscript = 'hold.sh'\n");
    auto e = makeEngine();
    e->start(); // never ran: due, and started
    const auto h = task(*e, "H");
    ASSERT_TRUE(h->running);
    ASSERT_TRUE(
        waitUntil([&] { return QFileInfo::exists(repo.root() + QStringLiteral("/started")); }));
    e->cancel(h);
    ASSERT_TRUE(finished(*e, "H"));
    e->startReady();
    EXPECT_FALSE(h->running) << "not straight back";
    EXPECT_EQ(h->failedRuns.value(), 0);
    advance(static_cast<int>(Engine::retryDelaySeconds(1)) + 1);
    e->refreshLogs();
    e->startReady();
    EXPECT_TRUE(h->running) << "the schedule goes on";
    e->cancel(h);
    ASSERT_TRUE(finished(*e, "H"));
    e->runNow(h, false);
    EXPECT_TRUE(h->running) << "a start by hand goes at once";
    e->cancel(h);
    ASSERT_TRUE(finished(*e, "H"));
}

// Two copies, each with a support folder of its own, on one repository.
TEST_F(Starts, TwoCopiesNeverRunOneTaskAtOnce) {
    holdingRuns = false;
    writeConfig("[[task]]\nname = 'H'\ntype = 'scheduled'\nscript = 'hold.sh'\n");
    auto first = makeEngine();
    TempRepo secondSupport;
    secondSupport.write(QStringLiteral("support/config.toml"),
                        "[[task]]\nname = 'H'\ntype = 'scheduled'\nscript = 'hold.sh'\n");
    auto second = makeEngine(false, {}, Paths(repo.paths().repo, secondSupport.paths().appSupport));
    first->runNow(task(*first, "H"), false);
    ASSERT_TRUE(
        waitUntil([&] { return QFileInfo::exists(repo.root() + QStringLiteral("/started")); }));
    second->runNow(task(*second, "H"), false);
    ASSERT_TRUE(finished(*second, "H"));
    EXPECT_EQ(task(*second, "H")->failedRuns.value(), 0);
    EXPECT_EQ(LogStore(repo.paths().logs()).files(QStringLiteral("H")).size(), 1)
        << "one run, one log";
    release();
    ASSERT_TRUE(finished(*first, "H"));
    EXPECT_EQ(task(*first, "H")->summary.value().latestStatus, LogStatus::Success);
}

TEST_F(Starts, AProgressFloodReachesTheRowAsItsLatestValue) {
    holdingRuns = false;
    // 20,000 lines with a percentage, then the value that stays while the run waits.
    repo.script(QStringLiteral("flood.sh"),
                "for i in $(seq 1 20000); do echo \"file $i $((i % 100))%\"; done\n"
                "echo 'almost 42%'\n"
                "while [ ! -e \"$PWD/../release\" ]; do sleep 0.05; done\n");
    writeConfig("[[task]]\nname = 'F'\ntype = 'scheduled'\nscript = 'flood.sh'\n");
    auto e = makeEngine();
    const auto f = task(*e, "F");
    int changes = 0;
    const QPropertyNotifier counting = f->progress.addNotifier([&] { ++changes; });
    e->startReady();
    EXPECT_TRUE(waitUntil([&] { return f->progress.value() == 42; }, 20000));
    release();
    ASSERT_TRUE(finished(*e, "F"));
    EXPECT_LT(changes, 20000) << "one post per line would change it for every line";
}

// Reports made while one is on its way replace its value: one post, the latest value.
TEST(LatestToMain, ReportsWhileOneIsOnItsWayPostOnce) {
    QList<int> applied;
    const auto sink = latestToMain<int>([&](int v) { applied.append(v); });
    std::thread([&] {
        for (int i = 1; i <= 100000; ++i)
            sink(i);
    }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(applied, QList<int>{100000});
    sink(7);
    QCoreApplication::processEvents();
    EXPECT_EQ(applied, (QList<int>{100000, 7}));
}

// With a gap, a steady stream is applied a few times a second, the last value always.
TEST(LatestToMain, AGapKeepsAStreamToAFewValuesAndTheLast) {
    QList<int> applied;
    const auto sink = latestToMain<int>([&](int v) { applied.append(v); }, 100);
    QElapsedTimer t;
    t.start();
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 1; t.elapsed() < 500; ++i) {
            sink(i);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        sink(-1);
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    writer.join();
    ASSERT_TRUE(waitUntil([&] { return !applied.isEmpty() && applied.last() == -1; }, 2000));
    EXPECT_LE(applied.size(), 8) << "about one per 100 ms of 500 ms, and the last";
    EXPECT_GE(applied.size(), 3);
}
