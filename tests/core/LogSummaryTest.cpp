#include "records/LogStore.h"
#include "support/TempRepo.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <limits>
#include <random>
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
    EXPECT_EQ(s.latestStatus, LogStatus::Running);
    EXPECT_EQ(s.latestFile, newest);
    EXPECT_EQ(s.latestStart, at("2026-01-02_10-00-00"));
    EXPECT_EQ(s.lastSuccess, at("2026-01-01_10-00-00"));
    EXPECT_FALSE(s.failureLine);
}

TEST_F(Summary, AbortMarkersOfEveryWriterInTheTailOnly) {
    put("2026-01-01_10-00-00_A.log",
        log("A", "FAILED",
            "copying\n\n--- Abgebrochen: Savewright beendet (Neustart oder Ausschalten) ---\n"));
    EXPECT_EQ(summary().latestStatus, LogStatus::Aborted);
    EXPECT_FALSE(summary().failureLine);
    put("2026-01-02_10-00-00_A.log", log("A", "FAILED", "x\n--- Cancelled by user ---\n"));
    EXPECT_EQ(summary().latestStatus, LogStatus::Aborted);
    put("2026-01-03_10-00-00_A.log", log("A", "FAILED", "--- Abgebrochen beim Neustart ---\n"));
    EXPECT_EQ(summary().latestStatus, LogStatus::Aborted);
    // The marker more than 4096 bytes before the end does not count.
    put("2026-01-04_10-00-00_A.log",
        log("A", "FAILED", "--- Abgebrochen: x ---\n" + QByteArray(5000, 'y') + "\nlast words\n"));
    EXPECT_EQ(summary().latestStatus, LogStatus::Failed);
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
    EXPECT_EQ(store.summary(QStringLiteral("A")).latestStatus, LogStatus::Failed);
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
    EXPECT_EQ(s.latestStatus, LogStatus::Running);
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
    EXPECT_EQ(summary().latestStatus, LogStatus::Success);
}

TEST_F(Summary, HeaderDecodingReplacesACutCharacter) {
    const QString file = put("2026-01-01_10-00-00_A.log", QByteArray(499, 'a') + "\xc3\xa9tail");
    const std::optional<QString> h = LogStore::header(file);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->size(), 500);
    EXPECT_EQ(h->back(), QChar(0xFFFD));
    EXPECT_FALSE(LogStore::header(repo.root() + QStringLiteral("/none")));
    EXPECT_EQ(LogStore::status(QStringLiteral("Status: FAILED and Status: RUNNING")),
              LogStatus::Failed);
    EXPECT_FALSE(LogStore::status(QStringLiteral("Status: ABORTED")));
}

namespace {

// A kept summary driven through what happens to a task's logs over time; after
// every step it must say what a summary read from scratch says.
class KeptSummaryWalk : public Summary {
  protected:
    void SetUp() override {
        QDir().mkpath(store.directory);
        folder = PosixFile::openFolder(store.directory);
        ASSERT_TRUE(folder);
    }
    QString name(int run) const {
        const QDateTime start = at("2026-01-01_00-00-00").addSecs(3600LL * run);
        return LogStore::fileName(
            Clock::time_point(std::chrono::milliseconds(start.toMSecsSinceEpoch())),
            QStringLiteral("A"));
    }
    // Every change gets its own modification time, a second apart: like a real
    // clock, never two changes with one stamp.
    void write(int run, const char* status, const QByteArray& body = "line\n") {
        const QString path = store.directory + u'/' + name(run);
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(log("A", status, body));
        f.close();
        const timespec times[2] = {{++fakeSeconds, 0}, {fakeSeconds, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    }
    // Brings the kept summary up to date; true when it read anything.
    bool update(qint64 settledBeforeNs = std::numeric_limits<qint64>::max()) {
        return store.update(kept, QStringLiteral("A"), store.fileNames(QStringLiteral("A")),
                            folder.get(), settledBeforeNs);
    }
    void expectFresh() {
        update();
        EXPECT_EQ(kept.summary, summary());
    }
    PosixFile::UniqueFd folder;
    KeptSummary kept;
    time_t fakeSeconds = 1'900'000'000; // after every name: names are believed
};

} // namespace

TEST_F(KeptSummaryWalk, EveryStepSaysWhatAFreshReadSays) {
    std::mt19937 random(7);
    const char* statuses[] = {"SUCCESS", "FAILED", "RUNNING"};
    int newest = 0, oldest = 0;
    write(newest, "FAILED");
    for (int step = 0; step < 400; ++step) {
        switch (random() % 5) {
        case 0: // a run starts
            write(++newest, "RUNNING");
            break;
        case 1: // the newest run ends, in place
            write(newest, statuses[random() % 2], "last words " + QByteArray::number(step) + '\n');
            break;
        case 2: // clean-up takes the oldest
            if (oldest < newest) QFile::remove(store.directory + u'/' + name(oldest++));
            break;
        case 3: // a finished run of another kind
            write(++newest, statuses[random() % 3]);
            break;
        default: // nothing happened
            EXPECT_FALSE(update()) << "step " << step;
        }
        expectFresh();
        ASSERT_FALSE(HasFailure()) << "step " << step;
    }
}

TEST_F(KeptSummaryWalk, WhatChangedLatelyIsReadAgain) {
    write(0, "SUCCESS");
    write(1, "RUNNING");
    update();
    // The running log was finalized within the clock's doubt, keeping its size
    // and (coarse) time: the stamp cannot be trusted yet, so it is read again.
    const QString path = store.directory + u'/' + name(1);
    const auto before = PosixFile::stamp(path);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    QByteArray bytes = f.readAll();
    bytes.replace("Status: RUNNING", "Status: FAILED\n");
    f.seek(0);
    f.write(bytes.left(before->size));
    f.close();
    const timespec same[2] = {{before->mtimeNs / 1'000'000'000, before->mtimeNs % 1'000'000'000},
                              {before->mtimeNs / 1'000'000'000, before->mtimeNs % 1'000'000'000}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), same, 0);
    EXPECT_TRUE(update(before->mtimeNs)); // not older than the doubt: read again
    EXPECT_EQ(kept.summary.latestStatus, LogStatus::Failed);
    EXPECT_EQ(kept.summary.lastSuccess, at(name(0).left(19).toLatin1().constData()));
    EXPECT_FALSE(update()); // settled now
}

TEST_F(KeptSummaryWalk, APreviousNewestThatEndedLateStillCounts) {
    write(0, "FAILED");
    write(1, "RUNNING");
    update();
    // Ended after the next run of the task began (a restart's clean-up or an
    // external writer): the older file changed and its success counts.
    write(2, "RUNNING");
    write(1, "SUCCESS");
    update();
    EXPECT_EQ(kept.summary.latestStatus, LogStatus::Running);
    EXPECT_EQ(kept.summary.lastSuccess, at(name(1).left(19).toLatin1().constData()));
    // Clean-up took every success: the summary says so.
    QFile::remove(store.directory + u'/' + name(1));
    expectFresh();
    EXPECT_FALSE(kept.summary.lastSuccess);
}
