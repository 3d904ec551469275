#include "records/TaskState.h"

#include <QPropertyNotifier>

#include <gtest/gtest.h>

namespace {
const QDateTime kNow = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);

LogSummary withStatus(LogStatus status, std::optional<QString> line = std::nullopt) {
    LogSummary s;
    s.latestStatus = status;
    s.failureLine = line;
    return s;
}
} // namespace

TEST(TaskState, DerivedValues) {
    TaskState t(TaskConfig(QStringLiteral("A B"), TaskType::Scheduled, QStringLiteral("a.sh")));
    EXPECT_EQ(t.id, u"A B");
    EXPECT_EQ(t.status(kNow), TaskStatus::Never);
    EXPECT_FALSE(t.errorText());
    EXPECT_FALSE(t.lastRun());
    EXPECT_FALSE(t.isRunning());

    t.summary = withStatus(LogStatus::Failed, QStringLiteral("rsync error: x"));
    EXPECT_EQ(t.status(kNow), TaskStatus::Error);
    EXPECT_EQ(t.errorText(), QStringLiteral("rsync error: x"));
    t.summary = withStatus(LogStatus::Failed);
    EXPECT_EQ(t.errorText(), QStringLiteral("Fehler"));

    LogSummary aborted = withStatus(LogStatus::Aborted);
    aborted.lastSuccess = kNow.addSecs(-10 * 3600);
    t.summary = aborted;
    EXPECT_EQ(t.status(kNow), TaskStatus::Green);
    EXPECT_FALSE(t.errorText());
    EXPECT_EQ(t.lastRun(), kNow.addSecs(-10 * 3600));

    LogSummary leftover = withStatus(LogStatus::Running);
    leftover.lastSuccess = kNow.addSecs(-30 * 3600);
    t.summary = leftover;
    EXPECT_EQ(t.status(kNow), TaskStatus::Yellow);

    t.transientError = QStringLiteral("Volume fehlt: A");
    EXPECT_EQ(t.status(kNow), TaskStatus::Error);
    t.running = true;
    EXPECT_EQ(t.status(kNow), TaskStatus::Running);
    EXPECT_EQ(t.errorText(), QStringLiteral("Volume fehlt: A"));
    t.running = false;
    t.runningElsewhere = true;
    EXPECT_TRUE(t.isRunning());
    EXPECT_EQ(t.status(kNow), TaskStatus::Running);
}

TEST(TaskState, ASuccessFromTheFutureNeitherBlocksNorHides) {
    TaskConfig c(QStringLiteral("A"), TaskType::Scheduled, QStringLiteral("a.sh"));
    TaskState t(c);
    LogSummary s = withStatus(LogStatus::Success);
    s.lastSuccess = kNow.addYears(2); // made while the clock was two years ahead
    t.summary = s;
    EXPECT_FALSE(t.scheduleSuccess(kNow));
    EXPECT_EQ(t.status(kNow), TaskStatus::Red) << "needs attention";
    EXPECT_TRUE(
        Schedule::isDue(c, t.scheduleSuccess(kNow), kNow, [](const QString&) { return false; }));
    // Minutes ahead is a clock's ordinary drift.
    s.lastSuccess = kNow.addSecs(240);
    t.summary = s;
    EXPECT_EQ(t.scheduleSuccess(kNow), kNow.addSecs(240));
    EXPECT_EQ(t.status(kNow), TaskStatus::Green);
    // A run that succeeded here since counts, though the future file stays newest by name.
    s.lastSuccess = kNow.addYears(2);
    t.summary = s;
    t.unseenSuccess = kNow.addSecs(-60);
    EXPECT_EQ(t.scheduleSuccess(kNow), kNow.addSecs(-60));
    EXPECT_EQ(t.status(kNow), TaskStatus::Green);
    EXPECT_FALSE(
        Schedule::isDue(c, t.scheduleSuccess(kNow), kNow, [](const QString&) { return false; }));
}

TEST(TaskState, EqualAssignmentsNotifyNobody) {
    TaskState t(TaskConfig(QStringLiteral("A"), TaskType::Scheduled, QStringLiteral("a.sh")));
    int summaries = 0, configs = 0, progress = 0;
    const QPropertyNotifier n1 = t.summary.addNotifier([&] { ++summaries; });
    const QPropertyNotifier n2 = t.config.addNotifier([&] { ++configs; });
    const QPropertyNotifier n3 = t.progress.addNotifier([&] { ++progress; });
    t.summary = LogSummary{};
    t.config = TaskConfig(QStringLiteral("A"), TaskType::Scheduled, QStringLiteral("a.sh"));
    t.progress = std::nullopt;
    EXPECT_EQ(summaries + configs + progress, 0);
    t.summary = withStatus(LogStatus::Success);
    t.summary = withStatus(LogStatus::Success);
    TaskConfig changed = t.config.value();
    changed.maxLogs = 3;
    t.config = changed;
    t.progress = 42;
    t.progress = 42;
    EXPECT_EQ(summaries, 1);
    EXPECT_EQ(configs, 1);
    EXPECT_EQ(progress, 1);
}

TEST(TaskState, TextAndLightGoByTheSameSuccess) {
    TaskState t(TaskConfig(QStringLiteral("A"), TaskType::Scheduled, QStringLiteral("a.sh")));
    // A run of this copy succeeded, then its logs were deleted.
    t.unseenSuccess = kNow.addSecs(-180);
    t.summary = LogSummary{};
    EXPECT_EQ(t.status(kNow), TaskStatus::Green);
    EXPECT_EQ(t.lastRun(), kNow.addSecs(-180)) << "a green row never says 'nie'";
    // An older success in the logs gives way to the newer one of this copy.
    LogSummary older = withStatus(LogStatus::Success);
    older.lastSuccess = kNow.addSecs(-7200);
    t.summary = older;
    EXPECT_EQ(t.lastRun(), kNow.addSecs(-180));
    t.unseenSuccess = std::nullopt;
    EXPECT_EQ(t.lastRun(), kNow.addSecs(-7200));
}
