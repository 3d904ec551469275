// After the machine wakes up: nothing starts by itself and nothing is announced
// while the network comes back, then each due task starts once.
#include "records/RelativeTime.h"
#include "support/EngineFixture.h"

namespace {

class Resume : public EngineFixture {
  protected:
    void SetUp() override {
        holdingRuns = true;
        repo.script(QStringLiteral("quick.sh"), "echo ok\n");
        repo.script(QStringLiteral("sleepy.sh"),
                    "while [ ! -e \"$PWD/../release\" ]; do sleep 0.05; done\n"
                    "echo 'ssh: connect to host nas: Network is unreachable'\nexit 255\n");
    }
    std::unique_ptr<Engine> started() {
        auto e = makeEngine();
        e->onAlert = [this](const Alert& a) { alerts.append(a); };
        e->start();
        e->tick();
        return e;
    }
    bool announced(Alert::Kind kind, const char* task) const {
        return std::any_of(alerts.cbegin(), alerts.cend(), [&](const Alert& a) {
            return a.kind == kind && a.task == QString::fromUtf8(task);
        });
    }
    QList<Alert> alerts;
};

const char* kTasks = "[[task]]\nname = 'A'\ntype = 'scheduled'\nscript = 'quick.sh'\n"
                     "interval_minutes = 30\n"
                     "[[task]]\nname = 'Ext'\ntype = 'external'\nscript = 'e.sh'\n";

} // namespace

TEST_F(Resume, AWakeUpSeenByTheClocksSettlesBeforeStartsAndNotices) {
    writeConfig(kTasks);
    writeLog("A", clockNow.addSecs(-600), "SUCCESS");
    writeLog("Ext", clockNow.addSecs(-700), "SUCCESS");
    auto e = started();
    ASSERT_FALSE(task(*e, "A")->running) << "not due yet";

    // Three hours asleep: the steady clock stood still.
    moveWallClock(3 * 3600);
    writeLog("Ext", clockNow.addSecs(-5), "FAILED");
    e->tick();
    EXPECT_TRUE(e->settling());
    e->poll();
    EXPECT_FALSE(task(*e, "A")->running) << "due, but the network may not be back";
    EXPECT_EQ(task(*e, "Ext")->summary.value().latestStatus, LogStatus::Failed);
    EXPECT_TRUE(alerts.isEmpty()) << "nothing is announced while settling";
    advance(10);
    e->tick();
    EXPECT_FALSE(task(*e, "A")->running);

    advance(11);
    e->tick();
    EXPECT_FALSE(e->settling());
    EXPECT_TRUE(task(*e, "A")->running || task(*e, "A")->probing()) << "due: starts once now";
    EXPECT_TRUE(announced(Alert::Kind::Failed, "Ext")) << "what is still wrong is told now";
    ASSERT_TRUE(finished(*e, "A"));
}

TEST_F(Resume, TheNetworkBackEndsTheWaitAndAStartByHandNeverWaits) {
    writeConfig(kTasks);
    writeLog("A", clockNow.addSecs(-600), "SUCCESS");
    auto e = started();
    e->machineResumed(std::chrono::seconds(60));
    e->runNow(task(*e, "A"), false);
    EXPECT_TRUE(task(*e, "A")->running) << "asked for by the person";
    ASSERT_TRUE(finished(*e, "A"));
    e->networkReady();
    EXPECT_FALSE(e->settling());
}

TEST_F(Resume, ARunThatSleptAndFailsWhileTheNetworkComesBackIsNoFailureStreak) {
    writeConfig("[[task]]\nname = 'S'\ntype = 'scheduled'\nscript = 'sleepy.sh'\n");
    auto e = started(); // never ran: due at once
    ASSERT_TRUE(task(*e, "S")->running);
    moveWallClock(2 * 3600);
    e->tick();
    ASSERT_TRUE(e->settling());
    release();
    ASSERT_TRUE(finished(*e, "S"));
    e->refreshLogs();
    const auto s = task(*e, "S");
    EXPECT_EQ(s->summary.value().latestStatus, LogStatus::Failed) << "the log tells";
    EXPECT_EQ(s->failedRuns.value(), 0) << "no back-off for the network's absence";
    e->networkReady();
    EXPECT_FALSE(announced(Alert::Kind::Failed, "S"));
    e->shutdown();
    ASSERT_TRUE(finished(*e, "S")); // the run due again once settled, stopped unstarted
    EXPECT_TRUE(e->waitForRuns(10000));
}

// One task's own pause: kept across a restart, said in its row, ended by its
// time or by hand; a start by hand still goes.
TEST_F(Resume, OneTasksPauseHoldsItAcrossARestartUntilItsTime) {
    writeConfig("[[task]]\nname = 'A'\ntype = 'scheduled'\nscript = 'quick.sh'\n"
                "[[task]]\nname = 'B'\ntype = 'scheduled'\nscript = 'quick.sh'\n");
    writeLog("A", clockNow.addSecs(-7200), "SUCCESS");
    writeLog("B", clockNow.addSecs(-7200), "SUCCESS");
    const QDateTime hourLater = clockNow.addSecs(3600);
    {
        auto before = makeEngine();
        before->pauseTask(QStringLiteral("A"), hourLater);
        before->pauseTask(QStringLiteral("B"), std::nullopt);
    }
    auto e = started();
    const auto a = task(*e, "A"), b = task(*e, "B");
    EXPECT_FALSE(a->running || a->probing() || b->running || b->probing());
    EXPECT_EQ(a->heldBy.value(),
              (Hold{QStringLiteral("paused"),
                    QStringLiteral("pausiert bis ") + RelativeTime::clock(hourLater, clockNow)}));
    EXPECT_EQ(b->heldBy.value()->text, QStringLiteral("pausiert"));
    EXPECT_EQ(e->nextRun(*a).at, hourLater);
    EXPECT_EQ(e->nextRun(*b), Schedule::NextDue{}) << "until resumed: nothing to tell";

    e->runNow(b, false);
    ASSERT_TRUE(finished(*e, "B"));
    EXPECT_EQ(b->summary.value().latestStatus, LogStatus::Success);
    EXPECT_GT(b->summary.value().lastSuccess, clockNow.addSecs(-60));

    advance(3601);
    e->tick();
    EXPECT_TRUE(a->running || a->probing()) << "the hour is over";
    EXPECT_EQ(a->heldBy.value(), std::nullopt);
    EXPECT_EQ(b->heldBy.value()->key, QStringLiteral("paused")) << "a pause shows, due or not";
    e->resumeTask(QStringLiteral("B"));
    EXPECT_EQ(b->heldBy.value(), std::nullopt);
    ASSERT_TRUE(finished(*e, "A"));
    e.reset();
    EXPECT_FALSE(makeEngine()->taskPausedUntil(QStringLiteral("B"))) << "resumed for good";
}

TEST(TaskPause, TomorrowMeansSixInTheMorningOfTheNextDay) {
    const ScopedTimeZone tz("Europe/Berlin");
    const QDateTime evening = QDateTime(QDate(2026, 12, 9), QTime(22, 30)); // local
    EXPECT_EQ(Engine::tomorrowMorning(evening), QDateTime(QDate(2026, 12, 10), QTime(6, 0)));
    const QDateTime night = QDateTime(QDate(2026, 12, 10), QTime(0, 30));
    EXPECT_EQ(Engine::tomorrowMorning(night), QDateTime(QDate(2026, 12, 11), QTime(6, 0)));
}
