#include "records/LogStore.h"
#include "support/TempRepo.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

QByteArray log(const char* name, const char* status, const QByteArray& body,
               const QByteArray& rest = "\n--- Finished: 2026-01-01T00:00:00.000000 ---\n") {
    return QByteArray("Ferrymat Log \xe2\x80\x94 ") + name +
           "\nStarted: 2026-01-01T00:00:00.000000\n"
           "Script: s.sh\nStatus: " +
           status + "\n\n--- Output ---\n" + body + rest;
}

class Summary : public ::testing::Test {
  protected:
    QString put(const char* file, const QByteArray& content) {
        return repo.write(QStringLiteral("repo/logs/") + QString::fromLatin1(file), content);
    }
    LogSummary summary(const char* safe = "A") { return store.summary(QString::fromLatin1(safe)); }
    static QDateTime at(const char* stamp) {
        return *LogTime::parseFileStamp(QString::fromLatin1(stamp));
    }
    TempRepo repo;
    LogStore store{repo.paths().logs()};
};

} // namespace

TEST_F(Summary, NoFilesGiveAnEmptySummary) {
    EXPECT_EQ(summary(), LogSummary{});
}

TEST_F(Summary, RunningNewestDoesNotHideAnOlderSuccess) {
    put("2026-01-01_10-00-00_A.log", log("A", "SUCCESS", "ok\n"));
    const QString newest = put("2026-01-02_10-00-00_A.log", log("A", "RUNNING", "working", ""));
    const LogSummary s = summary();
    EXPECT_EQ(s.latestStatus, QStringLiteral("RUNNING"));
    EXPECT_EQ(s.latestFile, newest);
    EXPECT_EQ(s.latestStart, at("2026-01-02_10-00-00"));
    EXPECT_EQ(s.lastSuccess, at("2026-01-01_10-00-00"));
    EXPECT_FALSE(s.failureLine);
}

TEST_F(Summary, AbortMarkersOfEveryWriterInTheTailOnly) {
    put("2026-01-01_10-00-00_A.log",
        log("A", "FAILED",
            "copying\n\n--- Abgebrochen: Savewright beendet (Neustart oder Ausschalten) ---\n"));
    EXPECT_EQ(summary().latestStatus, QStringLiteral("ABORTED"));
    EXPECT_FALSE(summary().failureLine);
    put("2026-01-02_10-00-00_A.log", log("A", "FAILED", "x\n--- Cancelled by user ---\n"));
    EXPECT_EQ(summary().latestStatus, QStringLiteral("ABORTED"));
    put("2026-01-03_10-00-00_A.log", log("A", "FAILED", "--- Abgebrochen beim Neustart ---\n"));
    EXPECT_EQ(summary().latestStatus, QStringLiteral("ABORTED"));
    // The marker more than 4096 bytes before the end does not count.
    put("2026-01-04_10-00-00_A.log",
        log("A", "FAILED", "--- Abgebrochen: x ---\n" + QByteArray(5000, 'y') + "\nlast words\n"));
    EXPECT_EQ(summary().latestStatus, QStringLiteral("FAILED"));
    EXPECT_EQ(summary().failureLine, QStringLiteral("last words"));
}

TEST_F(Summary, FailureLineRules) {
    put("2026-01-01_10-00-00_A.log",
        log("A", "FAILED",
            "sending\r\n  rsync error: some files could not be transferred (code 23)  \r\n",
            "\n--- Finished: 2026-01-01T00:00:00.000000 ---\n\n--- Stats ---\nFiles: 3\n"));
    EXPECT_EQ(summary().failureLine,
              QStringLiteral("rsync error: some files could not be transferred (code 23)"));
    put("2026-01-02_10-00-00_A.log",
        log("A", "FAILED", "out\n\n--- ERROR ---\nScript not found: /x/y.sh\n"));
    EXPECT_EQ(summary().failureLine, QStringLiteral("Script not found: /x/y.sh"));
    put("2026-01-03_10-00-00_A.log", log("A", "FAILED", "-----\n   \n--- x ---\n"));
    EXPECT_FALSE(summary().failureLine);
    EXPECT_EQ(store.summary(QStringLiteral("A")).latestStatus, QStringLiteral("FAILED"));
    // Not UTF-8: no failure line, but the status still reads.
    put("2026-01-04_10-00-00_A.log", log("A", "FAILED", "caf\xe9\n"));
    EXPECT_FALSE(summary().failureLine);
    // Letters of any script count.
    put("2026-01-05_10-00-00_A.log",
        log("A", "FAILED", "\xd0\x9e\xd1\x88\xd0\xb8\xd0\xb1\xd0\xba\xd0\xb0\n---\n"));
    EXPECT_EQ(summary().failureLine,
              QString::fromUtf8("\xd0\x9e\xd1\x88\xd0\xb8\xd0\xb1\xd0\xba\xd0\xb0"));
}

TEST_F(Summary, HugeFailedLogReadsOnlyItsEnd) {
    QByteArray body;
    for (int i = 0; i < 40000; ++i)
        body += "copying file number " + QByteArray::number(i) + "\n";
    body += "rsync: connection unexpectedly closed\n";
    put("2026-01-01_10-00-00_A.log", log("A", "FAILED", body));
    EXPECT_EQ(summary().failureLine, QStringLiteral("rsync: connection unexpectedly closed"));
}

TEST_F(Summary, HugeFailedLogWhoseLastLineRunsIntoTheTrailer) {
    // Progress redrawn with CR only: the last 256 KiB of the body hold no LF, so
    // the window's first LF is the trailer's own.
    QByteArray body = "started\n";
    for (int i = 0; i < 30000; ++i)
        body += "\r" + QByteArray::number(i % 100) + "% copying";
    body += "\rrsync error: some files could not be transferred (code 23)";
    put("2026-01-01_10-00-00_A.log",
        log("A", "FAILED", body,
            "\n--- Finished: 2026-01-01T00:00:00.000000 ---\n\n--- Stats ---\nBytes sent: 10\n"));
    EXPECT_EQ(summary().failureLine,
              QStringLiteral("rsync error: some files could not be transferred (code 23)"));
}

TEST_F(Summary, OutputNeverSetsTheStatus) {
    put("2026-01-01_10-00-00_A.log", log("A", "FAILED", "Status: SUCCESS\nexit 10\n"));
    put("2026-01-02_10-00-00_A.log", log("A", "RUNNING", "Status: SUCCESS\n", ""));
    const LogSummary s = summary();
    EXPECT_EQ(s.latestStatus, QStringLiteral("RUNNING"));
    EXPECT_FALSE(s.lastSuccess) << "no run succeeded";
}

TEST_F(Summary, NonRegularFilesNeverBlockTheReader) {
    const QString fifo = repo.root() + QStringLiteral("/repo/logs/2026-01-02_10-00-00_A.log");
    put("2026-01-01_10-00-00_A.log", log("A", "SUCCESS", ""));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    // Would hang for ever if the reader waited for a writer.
    const LogSummary s = summary();
    EXPECT_EQ(s.latestFile, fifo);
    EXPECT_FALSE(s.latestStatus);
    EXPECT_EQ(s.lastSuccess, at("2026-01-01_10-00-00"));
    EXPECT_FALSE(LogStore::failureLine(fifo));
    EXPECT_FALSE(LogStore::wasAborted(fifo));
}

TEST_F(Summary, EmptyOrUnreadableNewestAndLateStatus) {
    put("2026-01-01_10-00-00_A.log", log("A", "SUCCESS", ""));
    put("2026-01-02_10-00-00_A.log", "");
    LogSummary s = summary();
    EXPECT_TRUE(s.latestFile);
    EXPECT_EQ(s.latestStart, at("2026-01-02_10-00-00"));
    EXPECT_FALSE(s.latestStatus);
    EXPECT_EQ(s.lastSuccess, at("2026-01-01_10-00-00"));
    // A status beyond byte 500 is not seen.
    put("2026-01-03_10-00-00_A.log", log(QByteArray(480, 'n').constData(), "SUCCESS", ""));
    s = summary();
    EXPECT_FALSE(s.latestStatus);
    EXPECT_EQ(s.lastSuccess, at("2026-01-01_10-00-00"));
    // A name holding another status text: SUCCESS wins.
    put("2026-01-04_10-00-00_A.log", log("Status: RUNNING", "SUCCESS", ""));
    EXPECT_EQ(summary().latestStatus, QStringLiteral("SUCCESS"));
}

TEST_F(Summary, HeaderDecodingReplacesACutCharacter) {
    const QString file = put("2026-01-01_10-00-00_A.log", QByteArray(499, 'a') + "\xc3\xa9tail");
    const std::optional<QString> h = LogStore::header(file);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->size(), 500);
    EXPECT_EQ(h->back(), QChar(0xFFFD));
    EXPECT_FALSE(LogStore::header(repo.root() + QStringLiteral("/none")));
    EXPECT_EQ(LogStore::status(QStringLiteral("Status: FAILED and Status: RUNNING")),
              QStringLiteral("FAILED"));
    EXPECT_FALSE(LogStore::status(QStringLiteral("Status: ABORTED")));
}
