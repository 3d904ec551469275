// The engine under a broken or changing file system: no crash, the right
// problem or nothing, and recovery when the fault ends.
#include "support/EngineFixture.h"

namespace {

using Faults = EngineFixture;

const QByteArray kTask = "[[task]]\nname = 'T'\ntype = 'external'\nscript = 't.sh'\n";

} // namespace

TEST_F(Faults, LogFolderMissingReplacedOrAFileThenBack) {
    writeConfig(kTask);
    writeLog("T", clockNow.addSecs(-60), "SUCCESS");
    auto e = makeEngine();
    const auto t = task(*e, "T");
    EXPECT_EQ(t->status(clockNow), TaskStatus::Green);
    const QString logs = repo.paths().logs();
    ASSERT_TRUE(QDir(logs).removeRecursively());
    e->refreshLogs();
    EXPECT_EQ(t->status(clockNow), TaskStatus::Never);
    repo.write(QStringLiteral("repo/logs"), "a file where the folder belongs");
    e->refreshLogs();
    EXPECT_EQ(t->status(clockNow), TaskStatus::Never);
    EXPECT_TRUE(e->problems.value().isEmpty());
    QFile::remove(logs);
    writeLog("T", clockNow.addSecs(-60), "SUCCESS");
    e->refreshLogs();
    EXPECT_EQ(t->status(clockNow), TaskStatus::Green) << "recovers";
}

TEST_F(Faults, LogFileReplacedByAFolder) {
    writeConfig(kTask);
    writeLog("T", clockNow.addSecs(-7200), "SUCCESS");
    const QString name =
        LogStore::fileName(LogTime::fromDateTime(clockNow.addSecs(-60)), QStringLiteral("T"));
    QDir().mkpath(repo.paths().logs() + u'/' + name);
    auto e = makeEngine();
    const LogSummary s = task(*e, "T")->summary.value();
    EXPECT_FALSE(s.latestStatus);
    EXPECT_TRUE(s.lastSuccess) << "the walk goes on to the older file";
    EXPECT_FALSE(LogStore::failureLine(repo.paths().logs() + u'/' + name));
    EXPECT_FALSE(LogStore::wasAborted(repo.paths().logs() + u'/' + name));
}

TEST_F(Faults, ConfigFlappingEveryTick) {
    writeConfig(kTask);
    auto e = makeEngine();
    const auto t = task(*e, "T");
    for (int i = 0; i < 20; ++i) {
        writeConfig(i % 2 ? kTask : QByteArray("[[task]\n"));
        advance(5);
        e->tick();
        EXPECT_EQ(task(*e, "T"), t) << "the state survives every flap";
        EXPECT_EQ(e->problems.value().size(), i % 2 ? 0 : 1);
    }
    EXPECT_EQ(e->problems.value(), QStringList());
}

TEST_F(Faults, SupportFolderUnusableThenBack) {
    const QString support = repo.paths().appSupport;
    ASSERT_TRUE(QDir(support).removeRecursively());
    repo.write(QStringLiteral("support"), "a file where the folder belongs");
    auto e = makeEngine();
    ASSERT_EQ(e->problems.value().size(), 1);
    EXPECT_TRUE(e->problems.value()[0].startsWith(u"config.toml: "));
    e->refreshLogs(); // the journal check under a file: nothing happens
    QFile::remove(support);
    QDir().mkpath(support);
    writeConfig(kTask);
    advance(5);
    e->tick();
    EXPECT_TRUE(e->problems.value().isEmpty());
    EXPECT_NE(task(*e, "T"), nullptr);
}

// A refresh rests on what changed: a log whose size and time are unchanged (and
// settled) is not read again; any write that moves its time is.
TEST_F(Faults, RefreshSeesAWriteTheFileTimesHide) {
    writeConfig(kTask);
    const QString log = writeLog("T", clockNow.addSecs(-60), "SUCCESS");
    const QDateTime hourAgo = clockNow.addSecs(-3600);
    setModified(log, hourAgo);
    setModified(repo.paths().logs(), hourAgo);
    auto e = makeEngine();
    const auto t = task(*e, "T");
    EXPECT_EQ(t->summary.value().latestStatus, LogStatus::Success);
    // Same size, same time: only the kernel, which tells of every write to a
    // local folder, can tell of this change.
    QByteArray content = TempRepo::read(log);
    content.replace("Status: SUCCESS", "Status: FAILED ");
    repo.write(QStringLiteral("repo/logs/") + QFileInfo(log).fileName(), content);
    setModified(log, hourAgo);
    setModified(repo.paths().logs(), hourAgo);
    e->refreshLogs();
    EXPECT_EQ(t->summary.value().latestStatus, LogStatus::Failed);
    content.replace("Status: FAILED ", "Status: SUCCESS");
    repo.write(QStringLiteral("repo/logs/") + QFileInfo(log).fileName(), content);
    setModified(log, clockNow);
    e->refreshLogs();
    EXPECT_EQ(t->summary.value().latestStatus, LogStatus::Success);
}
