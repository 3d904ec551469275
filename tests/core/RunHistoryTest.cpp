// A task's runs read back from real log folders: every outcome, statistics
// with and without, logs that cannot be read, and thousands of them.
#include "records/RunHistory.h"
#include "support/TempRepo.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray log(const char* status, const QByteArray& body, const QByteArray& rest) {
    return QByteArray("Ferrymat Log \xe2\x80\x94 A\nStarted: 2026-01-01T00:00:00.000000\n"
                      "Script: s.sh\nStatus: ") +
           status + "\n\n--- Output ---\n" + body + rest;
}

const QByteArray kFinished = "\n--- Finished: 2026-01-01T00:01:05.500000 ---\n";

class History : public ::testing::Test {
  protected:
    void put(int hour, const QByteArray& content) {
        repo.write(u"repo/logs/2026-01-0%1_00-00-00_A.log"_s.arg(hour), content);
    }
    QList<RunRecord> read(bool newestRuns) { return RunHistory::read(store, u"A"_s, newestRuns); }
    TempRepo repo;
    LogStore store{repo.paths().logs()};
};

} // namespace

TEST_F(History, EveryOutcomeWithItsFacts) {
    put(1, log("SUCCESS", "sent 1 bytes\n",
               kFinished + "\n--- Stats ---\nFiles: 1,204 (reg: 1,200, dir: 4)\n"
                           "Transferred size: 1.50M bytes\nBytes sent: 99\n"));
    put(2, log("FAILED", "rsync: connection refused\n", kFinished));
    put(3, log("FAILED", "partial\n", "\n--- Abgebrochen: von Hand gestoppt ---\n" + kFinished));
    put(4, "no header at all\n");
    put(5, log("RUNNING", "copying\n", ""));
    const QList<RunRecord> runs = read(true);
    ASSERT_EQ(runs.size(), 5);
    EXPECT_EQ(runs[0].outcome, RunOutcome::Running);
    EXPECT_EQ(runs[0].seconds, std::nullopt);
    EXPECT_EQ(runs[1].outcome, RunOutcome::Unreadable);
    EXPECT_EQ(runs[2].outcome, RunOutcome::Stopped);
    EXPECT_EQ(runs[2].failureLine, std::nullopt) << "a stop is no failure";
    EXPECT_EQ(runs[3].outcome, RunOutcome::Failed);
    EXPECT_EQ(runs[3].failureLine, u"rsync: connection refused");
    EXPECT_EQ(runs[3].transferred, std::nullopt) << "no statistics";
    const RunRecord& ok = runs[4];
    EXPECT_EQ(ok.outcome, RunOutcome::Success);
    EXPECT_DOUBLE_EQ(*ok.seconds, 65.5);
    EXPECT_EQ(ok.files, 1204);
    EXPECT_EQ(ok.transferred, u"1.50M bytes");
    EXPECT_EQ(ok.transferredBytes, 1572864);
    EXPECT_EQ(ok.start.toLocalTime(), QDateTime(QDate(2026, 1, 1), QTime(0, 0)));

    // Without a copy holding the task, the RUNNING log was cut off.
    EXPECT_EQ(read(false)[0].outcome, RunOutcome::Stopped);
    EXPECT_EQ(RunHistory::read(store, u"A"_s, true, 2).size(), 2);
    EXPECT_EQ(RunHistory::toJson(runs[3]).value(u"outcome").toString(), u"failed");
}

TEST_F(History, AHugeLogIsReadAtItsEndsOnly) {
    QByteArray body;
    for (int i = 0; i < 200'000; ++i)
        body += "line " + QByteArray::number(i) + " of output that goes on\n";
    body += "rsync error: the last line (code 23)\n";
    put(1, log("FAILED", body, kFinished));
    const QList<RunRecord> runs = read(false);
    ASSERT_EQ(runs.size(), 1);
    EXPECT_EQ(runs[0].failureLine, u"rsync error: the last line (code 23)");
    EXPECT_DOUBLE_EQ(*runs[0].seconds, 65.5);
}

TEST_F(History, ThreeThousandLogsNewestFirst) {
    const Clock::time_point start = localTime(2020, 1, 1, 0, 0, 0);
    for (int i = 0; i < 3000; ++i)
        repo.write(u"repo/logs/"_s + LogStore::fileName(start + std::chrono::hours(i), u"A"_s),
                   log(i % 7 ? "SUCCESS" : "FAILED", "x\n", kFinished));
    const QList<RunRecord> runs = read(false);
    ASSERT_EQ(runs.size(), 3000);
    EXPECT_TRUE(std::is_sorted(runs.cbegin(), runs.cend(),
                               [](const auto& a, const auto& b) { return a.start > b.start; }));
    EXPECT_EQ(runs.last().start, LogTime::toDateTime(start));
}

TEST(HistoryDurations, AsAStopwatchShowsThem) {
    EXPECT_EQ(RunHistory::durationText(65.9), u"1:05");
    EXPECT_EQ(RunHistory::durationText(3723), u"1:02:03");
    EXPECT_EQ(RunHistory::durationText(std::nullopt), QString());
    EXPECT_EQ(RunHistory::durationText(-3), QString()) << "a clock put back";
}

TEST(HistorySizes, AsRsyncWritesThem) {
    EXPECT_EQ(RunHistory::bytesOf(u"44 bytes"), 44);
    EXPECT_EQ(RunHistory::bytesOf(u"1,234,567 bytes"), 1234567);
    EXPECT_EQ(RunHistory::bytesOf(u"1.234.567 bytes"), 1234567) << "another locale's grouping";
    EXPECT_EQ(RunHistory::bytesOf(u"2K"), 2048);
    EXPECT_EQ(RunHistory::bytesOf(u"1.5G bytes"), 1610612736);
    EXPECT_EQ(RunHistory::bytesOf(u"  12.00T"), 13194139533312);
    EXPECT_EQ(RunHistory::bytesOf(u"bytes"), std::nullopt);
    EXPECT_EQ(RunHistory::bytesOf(u"99999999999999P"), std::nullopt) << "beyond any disk";
}
