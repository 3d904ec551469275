// An idle engine looks at nothing: the kernel tells it of changed folders and
// its tick is armed for the next moment something is due.
#include "support/EngineFixture.h"

#include <QDir>

namespace {

using Wakes = EngineFixture;

// Milliseconds until the engine's next tick, or -1 when none is armed.
int tickIn(const Engine& e) {
    return e.nextTickMs().value_or(-1);
}

// Writes in place, as a program that rewrites its log's status line does.
void rewrite(const QString& file, const QByteArray& from, const QByteArray& to) {
    QByteArray text = TempRepo::read(file);
    text.replace(from, to);
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.write(text);
}

} // namespace

TEST_F(Wakes, ADueRunStartsOnTimeAndThenTheEngineSleeps) {
    holdScript();
    writeConfig("[[task]]\nname = 'Soon'\ntype = 'scheduled'\nscript = 'hold.sh'\n"
                "interval_minutes = 60\nwarn_hours = 48\nred_hours = 96\n");
    // Due 1.5 s from now on the engine's clock, which stands still meanwhile.
    writeLog("Soon", clockNow.addSecs(-3600).addMSecs(1500), "SUCCESS");
    auto e = makeEngine();
    e->start();
    const auto soon = task(*e, "Soon");
    EXPECT_FALSE(soon->running);
    EXPECT_LE(tickIn(*e), 1500) << "armed for the due moment";
    advance(2);
    // Nobody calls tick() or poll(): the armed tick starts it.
    ASSERT_TRUE(waitUntil([&] { return soon->running.value(); }, 4000));
    EXPECT_LE(tickIn(*e), 1000) << "every second while it runs";
    release();
    ASSERT_TRUE(waitUntil([&] { return !soon->running.value(); }, 5000));
    EXPECT_TRUE(waitUntil([&] { return tickIn(*e) > 4 * 60 * 1000; }, 3000))
        << "nothing due for an hour: it sleeps";
    EXPECT_FALSE(e->polling()) << "local logs, no volumes: nothing to poll";
    e->shutdown();
}

TEST_F(Wakes, ALightAReminderAndAViewEachArmTheTick) {
    writeConfig("[general]\nnotify = true\n[[task]]\nname = 'Ext'\ntype = 'external'\n"
                "script = 'e.sh'\nwarn_hours = 1\nred_hours = 2\nremind_hours = 1\n");
    // Turns yellow 3 s from now.
    writeLog("Ext", clockNow.addSecs(-3600 + 3), "SUCCESS");
    auto e = makeEngine();
    e->start();
    EXPECT_GT(tickIn(*e), 2000);
    EXPECT_LE(tickIn(*e), 3000) << "the light turns then";

    // Overdue and told: the reminder is due in an hour (no light changes any more).
    QDir(repo.paths().logs()).removeRecursively();
    writeLog("Ext", clockNow.addSecs(-3 * 3600), "SUCCESS");
    e->refreshLogs();
    advance(3600 - 10);
    e->tick();
    EXPECT_GT(tickIn(*e), 9000);
    EXPECT_LE(tickIn(*e), 10000) << "the reminder comes due then";

    // An open panel asks for the minute its texts change.
    e->wakeAt(e->now.value().addSecs(4));
    EXPECT_GT(tickIn(*e), 3000);
    EXPECT_LE(tickIn(*e), 4000);
    e->wakeAt(e->now.value().addSecs(-4)); // the past asks for nothing
    EXPECT_GT(tickIn(*e), 3000);
    e->shutdown();
}

TEST_F(Wakes, LogsOthersWriteAreReadWithoutALook) {
    writeConfig("[[task]]\nname = 'Ext'\ntype = 'external'\nscript = 'e.sh'\n");
    auto e = makeEngine();
    e->start();
    EXPECT_FALSE(e->polling());
    const auto ext = task(*e, "Ext");
    const auto status = [&] { return ext->summary.value().latestStatus; };
    // The log folder appears with the first log.
    const QString log = writeLog("Ext", clockNow.addSecs(-60), "RUNNING");
    ASSERT_TRUE(waitUntil([&] { return status() == LogStatus::Running; }, 3000)) << "a new folder";
    // While it runs elsewhere, the tick reads every five seconds of the engine's clock.
    EXPECT_TRUE(ext->runningElsewhere);
    rewrite(log, "RUNNING", "SUCCESS");
    advance(5);
    ASSERT_TRUE(waitUntil([&] { return status() == LogStatus::Success; }, 3000))
        << "written in place";
    QFile::remove(log);
    ASSERT_TRUE(waitUntil([&] { return !status(); }, 8000)) << "removed";
    e->shutdown();
}

TEST_F(Wakes, WhatTheKernelCannotTellIsPolled) {
    writeConfig("[[task]]\nname = 'NAS'\ntype = 'on_mount'\nscript = 'n.sh'\n"
                "watch_volumes = ['/mnt/nas']\n");
    auto e = makeEngine();
    e->start();
    EXPECT_TRUE(e->polling()) << "a volume's coming is not a folder's change";
    writeConfig("[[task]]\nname = 'A'\ntype = 'scheduled'\nscript = 'a.sh'\n");
    ASSERT_TRUE(waitUntil([&] { return task(*e, "A") != nullptr; }, 3000));
    EXPECT_FALSE(e->polling());
    e->shutdown();
}

TEST_F(Wakes, AJournalLineIsToldWithoutALook) {
    const QString journal = repo.paths().appSupport + QStringLiteral("/state/loeschschutz.jsonl");
    QDir().mkpath(QFileInfo(journal).path());
    repo.write(QStringLiteral("support/state/loeschschutz.jsonl"), "{\"id\":\"old\"}\n");
    auto e = makeEngine();
    QStringList told;
    e->onNewDeletionEvent = [&](const DeletionEvent& ev) { told.append(ev.id); };
    e->start();
    QFile f(journal);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("{\"id\":\"new\"}\n");
    f.close();
    ASSERT_TRUE(waitUntil([&] { return !told.isEmpty(); }, 3000));
    EXPECT_EQ(told, QStringList{QStringLiteral("new")});
    e->shutdown();
}

TEST_F(Wakes, ASupportFolderMadeLaterIsWatchedFromThen) {
    QDir(repo.paths().appSupport).removeRecursively();
    auto e = makeEngine();
    e->start();
    EXPECT_TRUE(e->polling()) << "nothing to watch yet";
    writeConfig("[[task]]\nname = 'A'\ntype = 'external'\nscript = 'a.sh'\n");
    e->poll();
    EXPECT_NE(task(*e, "A"), nullptr);
    EXPECT_FALSE(e->polling());
    writeConfig("[[task]]\nname = 'B'\ntype = 'external'\nscript = 'b.sh'\n");
    EXPECT_TRUE(waitUntil([&] { return task(*e, "B") != nullptr; }, 3000)) << "told by the kernel";
    e->shutdown();
}
