#include "records/LogStore.h"
#include "engine/LogReader.h"
#include "platform/PosixFile.h"
#include "records/LogFolderNames.h"
#include "records/LogTime.h"
#include "records/StatsCollector.h"
#include "support/TempRepo.h"

#include <QDir>
#include <QSet>

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <ctime>
#include <random>
#include <thread>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace std::chrono;

QStringList names(const QStringList& paths) {
    QStringList out;
    for (const QString& p : paths)
        out.append(QFileInfo(p).fileName());
    return out;
}

class LogStoreTest : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override { tz_.emplace(GetParam()); }
    std::optional<ScopedTimeZone> tz_;
    TempRepo repo;
    LogStore store{repo.paths().logs()};
};

void setAge(const QString& path, std::chrono::seconds age) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addSecs(-age.count()),
                              QFileDevice::FileModificationTime));
}

} // namespace

TEST_P(LogStoreTest, FinalizeFindsTheStatusOnLineFourWhateverNameAndScriptHold) {
    const auto start = localTime(2026, 5, 1, 10, 0, 0);
    for (bool success : {true, false}) {
        const LogStore::Opened o =
            store.open(QStringLiteral("--- Output --- Status: RUNNING"), QStringLiteral("X"),
                       QStringLiteral("--- Output ---.sh"), start);
        ASSERT_FALSE(o.error);
        LogStore::finalize(o.file, QString(), success, start);
        const QByteArray text = TempRepo::read(o.file);
        EXPECT_TRUE(text.contains(success ? "\nStatus: SUCCESS\n\n--- Output ---\n"
                                          : "\nStatus: FAILED\n\n\n--- Output ---\n"))
            << text.constData();
        // The name keeps its text; only line 4 changed.
        EXPECT_TRUE(text.startsWith("Ferrymat Log \xe2\x80\x94 --- Output --- Status: RUNNING\n"));
        EXPECT_EQ(text.count("--- Finished:"), 1);
    }
}

TEST_P(LogStoreTest, HeaderAndFinishedFileByteForByte) {
    const auto start = localTime(2026, 12, 8, 4, 26, 32, 123456);
    const LogStore::Opened o = store.open(QStringLiteral("Fotos NAS"), QStringLiteral("Fotos_NAS"),
                                          QStringLiteral("fotos_sync.py"), start);
    ASSERT_FALSE(o.error);
    EXPECT_EQ(QFileInfo(o.file).fileName(), u"2026-12-08_04-26-32_Fotos_NAS.log");
    EXPECT_EQ(TempRepo::read(o.file),
              "Ferrymat Log \xe2\x80\x94 Fotos NAS\nStarted: 2026-12-08T04:26:32.123456\n"
              "Script: fotos_sync.py\nStatus: RUNNING\n\n--- Output ---\n");
    QFile f(o.file);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("line one\nNumber of files: 12 (reg: 10, dir: 2)\nTotal transferred file size: 512 "
            "bytes\n");
    f.close();
    LogStore::finalize(o.file,
                       QStringLiteral("Number of files: 12 (reg: 10, dir: 2)\n"
                                      "Total transferred file size: 512 bytes\n"),
                       true, localTime(2026, 12, 8, 4, 31, 7, 4211));
    EXPECT_EQ(TempRepo::read(o.file),
              "Ferrymat Log \xe2\x80\x94 Fotos NAS\nStarted: 2026-12-08T04:26:32.123456\n"
              "Script: fotos_sync.py\nStatus: SUCCESS\n\n--- Output ---\nline one\n"
              "Number of files: 12 (reg: 10, dir: 2)\nTotal transferred file size: 512 bytes\n"
              "\n--- Finished: 2026-12-08T04:31:07.004211 ---\n"
              "\n--- Stats ---\nFiles: 12 (reg: 10, dir: 2)\nTransferred size: 512 bytes\n");
}

TEST_P(LogStoreTest, FailedFinalizeOfABodyWithoutNewlineOrUtf8) {
    const auto start = localTime(2026, 3, 29, 2, 30, 0); // in the European DST gap
    const LogStore::Opened o =
        store.open(QStringLiteral("A"), QStringLiteral("A"), QStringLiteral("a.sh"), start);
    ASSERT_FALSE(o.error);
    QFile f(o.file);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("caf\xe9 no newline");
    f.close();
    LogStore::finalize(o.file, QString(), false, start);
    const QByteArray text = TempRepo::read(o.file);
    EXPECT_TRUE(
        text.contains("\nStatus: FAILED\n\n\n--- Output ---\ncaf\xe9 no newline\n--- Finished: "));
    EXPECT_FALSE(text.contains("Stats"));
    EXPECT_FALSE(text.contains("RUNNING"));
    // No temp file is left behind.
    EXPECT_EQ(QDir(store.directory).entryList(QDir::Files | QDir::Hidden).size(), 1);
    // A second finalize keeps the status and appends a second trailer.
    LogStore::finalize(o.file, QString(), true, start);
    const QByteArray again = TempRepo::read(o.file);
    EXPECT_EQ(again.count("--- Finished:"), 2);
    EXPECT_TRUE(again.contains("Status: FAILED"));
}

TEST_P(LogStoreTest, TwoStartsInOneSecondNeverOverwrite) {
    const auto start = localTime(2026, 10, 25, 2, 30, 59); // repeated hour in Europe
    const auto a = store.open(QStringLiteral("T"), QStringLiteral("T"), QStringLiteral("1"), start);
    const auto b = store.open(QStringLiteral("T"), QStringLiteral("T"), QStringLiteral("2"), start);
    ASSERT_FALSE(a.error);
    ASSERT_FALSE(b.error);
    EXPECT_NE(a.file, b.file);
    EXPECT_TRUE(TempRepo::read(a.file).contains("Script: 1\n"));
    // The second file takes the next second but its header keeps the real start.
    EXPECT_TRUE(QFileInfo(b.file).fileName().startsWith(LogTime::fileStamp(start + seconds(1))));
    EXPECT_TRUE(TempRepo::read(b.file).contains(QByteArray("Started: ") +
                                                LogTime::inFileStamp(start).toLatin1()));
    EXPECT_EQ(names(store.files(QStringLiteral("T"))).first(), QFileInfo(b.file).fileName());
}

TEST(CreateWith, TheNameAppearsWithItsBytesAndNeverTakesAnExistingOne) {
    TempRepo repo;
    const QString folder = repo.root();
    const QString path = folder + QStringLiteral("/a.log");
    // Whoever is told of the new name finds every byte: even a large file is
    // written before its name appears.
    const int watch = inotify_init1(IN_CLOEXEC);
    ASSERT_GE(inotify_add_watch(watch, PosixFile::encodePath(folder).constData(), IN_CREATE), 0);
    qint64 sizeWhenNamed = -1;
    std::thread reader([&] {
        char event[sizeof(inotify_event) + NAME_MAX + 1];
        if (::read(watch, event, sizeof event) > 0)
            sizeWhenNamed = QFileInfo(folder + QStringLiteral("/big.log")).size();
    });
    const QByteArray big(32 << 20, 'x');
    EXPECT_EQ(PosixFile::createWith(folder + QStringLiteral("/big.log"), big).error, 0);
    reader.join();
    ::close(watch);
    EXPECT_EQ(sizeWhenNamed, big.size());

    PosixFile::Created made = PosixFile::createWith(path, "head\n");
    ASSERT_EQ(made.error, 0);
    ASSERT_TRUE(PosixFile::writeAll(made.fd.get(), "body\n"));
    EXPECT_EQ(TempRepo::read(path), "head\nbody\n");
    EXPECT_EQ(PosixFile::createWith(path, "other\n").error, EEXIST);
    EXPECT_EQ(TempRepo::read(path), "head\nbody\n");
    // A link planted at the name is not followed.
    const QString target = folder + QStringLiteral("/target");
    ASSERT_TRUE(QFile::link(target, folder + QStringLiteral("/planted.log")));
    EXPECT_EQ(PosixFile::createWith(folder + QStringLiteral("/planted.log"), "x").error, EEXIST);
    EXPECT_FALSE(QFileInfo::exists(target));
}

TEST_P(LogStoreTest, FilesBelongToTheirTaskNewestFirst) {
    for (const char* n : {"2026-02-28_23-59-59_A.log", "2026-03-01_09-00-00_A.log",
                          "2026-01-01_00-00-00_B_A.log", "2026-01-01_00-00-00_A.txt", "notes_A.log",
                          "2026-13-01_00-00-00_A.log", ".2026-03-01_09-00-00_A.log.tmp-x"})
        repo.write(QStringLiteral("repo/logs/") + QString::fromLatin1(n), "x");
    EXPECT_EQ(names(store.files(QStringLiteral("A"))),
              QStringList({QStringLiteral("2026-03-01_09-00-00_A.log"),
                           QStringLiteral("2026-02-28_23-59-59_A.log")}));
    EXPECT_EQ(names(store.files(QStringLiteral("B_A"))),
              QStringList({QStringLiteral("2026-01-01_00-00-00_B_A.log")}));
    // A given listing is used as it is, even when the folder changed since.
    const LogListing listing = LogListing::of({QStringLiteral("2020-01-01_00-00-00_A.log")});
    EXPECT_EQ(names(store.files(QStringLiteral("A"), &listing)),
              QStringList({QStringLiteral("2020-01-01_00-00-00_A.log")}));
    EXPECT_TRUE(LogStore(repo.root() + QStringLiteral("/missing")).listing().names.isEmpty());
}

// Names coming and going, odd ones among them; after every look the kept names
// must say what a listing from scratch says, and a task's generation must move
// exactly when its names did.
TEST(LogFolderNames, EveryLookSaysWhatAFreshListingSays) {
    TempRepo repo;
    const QString folder = repo.paths().logs();
    QDir().mkpath(folder);
    const QList<QByteArray> owners = {"A", "B", "A_B", "B_A", "\xfc", "\xc3\xbc"};
    const QList<QByteArray> odd = {"notes_A.log", "2026-01-01_00-00-00_A.txt", "Löschbericht.html",
                                   ".2026-01-01_00-00-00_A.log.tmp-1", "2026-13-01_00-00-00_A.log"};
    std::mt19937 random(11);
    QSet<QByteArray> present;
    LogFolderNames kept;
    QHash<QString, QStringList> before;
    QHash<QString, quint64> generations;
    for (int step = 0; step < 300; ++step) {
        QByteArray raw;
        if (random() % 4 == 0) {
            raw = odd[random() % odd.size()];
        } else {
            raw = "2026-01-01_00-00-" + QByteArray::number(10 + random() % 40) + '_' +
                  owners[random() % owners.size()] + ".log";
        }
        const QByteArray path = QFile::encodeName(folder) + '/' + raw;
        if (present.contains(raw) && random() % 3 == 0) { // renamed within the folder
            const QByteArray to = "2026-01-01_00-01-" + QByteArray::number(10 + random() % 40) +
                                  '_' + owners[random() % owners.size()] + ".log";
            if (present.contains(to)) continue;
            ASSERT_EQ(
                ::rename(path.constData(), (QFile::encodeName(folder) + '/' + to).constData()), 0);
            present.remove(raw);
            present.insert(to);
        } else if (present.remove(raw)) {
            ASSERT_EQ(::unlink(path.constData()), 0);
        } else {
            // Raw bytes, which QFile would not keep.
            const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            ASSERT_GE(fd, 0);
            ::close(fd);
            present.insert(raw);
        }
        QStringList came;
        if (step % 3 == 2) { // several changes between two looks
            const QStringList all = PosixFile::names(folder);
            // The first look reads the folder; the kernel tells the rest.
            if (step > 2) {
                ASSERT_TRUE(kept.told(folder));
                kept.catchUp();
            } else {
                kept.reread(folder);
            }
            came = kept.added();
            const LogListing fresh = LogListing::of(all);
            QSet<QString> names(fresh.candidates.keyBegin(), fresh.candidates.keyEnd());
            for (auto it = before.keyBegin(); it != before.keyEnd(); ++it)
                names.insert(*it);
            for (const QString& owner : names) {
                QStringList now = kept.candidates(owner), expected = fresh.candidates.value(owner);
                now.sort();
                expected.sort();
                EXPECT_EQ(now, expected) << step;
                EXPECT_EQ(kept.generation(owner) != generations.value(owner),
                          expected != before.value(owner))
                    << step;
                generations[owner] = kept.generation(owner);
                before[owner] = expected;
            }
            for (const QString& n : came)
                EXPECT_TRUE(all.contains(n)) << step;
        }
        ASSERT_FALSE(HasFailure()) << "step " << step;
    }
    // A folder that is gone holds no names.
    ASSERT_EQ(::rename(QFile::encodeName(folder).constData(),
                       QFile::encodeName(folder + QStringLiteral(".gone")).constData()),
              0);
    kept.catchUp();
    for (const QByteArray& owner : owners)
        EXPECT_TRUE(kept.candidates(QFile::decodeName(owner)).isEmpty());
    EXPECT_TRUE(kept.added().isEmpty());
}

TEST(LogFolderNames, AQueueThatOverflowedIsReadWhole) {
    TempRepo repo;
    const QString folder = repo.paths().logs();
    QDir().mkpath(folder);
    LogFolderNames kept;
    kept.reread(folder);
    ASSERT_TRUE(kept.told(folder));
    // More notices than the kernel queues (16384 unless raised).
    int limit = 16384;
    QFile max(QStringLiteral("/proc/sys/fs/inotify/max_queued_events"));
    if (max.open(QIODevice::ReadOnly)) limit = max.readAll().trimmed().toInt();
    ASSERT_LT(limit, 200000);
    const QByteArray base = QFile::encodeName(folder) + "/2026-01-01_00-00-00_";
    for (int i = 0; i <= limit; ++i)
        ::close(::open((base + QByteArray::number(i) + ".log").constData(),
                       O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    ::unlink((base + "0.log").constData());
    kept.catchUp();
    EXPECT_TRUE(kept.candidates(QStringLiteral("0")).isEmpty());
    EXPECT_EQ(kept.candidates(QString::number(limit)).size(), 1);
    EXPECT_EQ(kept.added().size(), limit);
    EXPECT_TRUE(kept.told(folder)) << "asked again after the whole read";
}

TEST(LogFolderNames, OnlyNamesThatCameAreAdded) {
    TempRepo repo;
    repo.write(QStringLiteral("repo/logs/2026-01-01_00-00-00_A.log"), "x");
    LogFolderNames kept;
    kept.reread(repo.paths().logs());
    EXPECT_EQ(kept.added(), QStringList{QStringLiteral("2026-01-01_00-00-00_A.log")});
    kept.reread(repo.paths().logs());
    EXPECT_TRUE(kept.added().isEmpty());
    repo.write(QStringLiteral("repo/logs/Löschbericht.html"), "x");
    kept.catchUp();
    EXPECT_EQ(kept.added(), QStringList{QStringLiteral("Löschbericht.html")});
    // One that came and went between two looks did not come.
    repo.write(QStringLiteral("repo/logs/x"), "x");
    QFile::remove(repo.paths().logs() + QStringLiteral("/x"));
    kept.catchUp();
    EXPECT_TRUE(kept.added().isEmpty());
}

namespace {

// Rewrites a log's status in place and gives it back its old times, so that
// neither its size nor its times tell of the change.
void restatus(const QString& file, const QByteArray& from, const QByteArray& to) {
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &before), 0);
    QByteArray bytes = TempRepo::read(file);
    bytes.replace("Status: " + from, "Status: " + to);
    const int fd = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, bytes.constData(), size_t(bytes.size()), 0), bytes.size());
    ::close(fd);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), times, 0), 0);
}

std::optional<LogStatus> latest(LogReader& reader, const QStringList& tasks, const QString& task) {
    const qint64 now =
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
            .count();
    return reader.read(tasks, now).tasks.value(task).summary.latestStatus;
}

} // namespace

// Where the kernel tells of every write, an unchanged newest log is not looked
// at again, and a write is seen even when the file's size and times hide it.
TEST(LogReader, TheKernelsNoticesTellWhichNewestLogChanged) {
    TempRepo repo;
    const QByteArray log = "Log\nStarted: x\nScript: t.sh\nStatus: SUCCESS\n\n--- Output ---\nok\n";
    const QString a = repo.write(QStringLiteral("repo/logs/2026-01-01_00-00-00_A.log"), log);
    const QString b = repo.write(QStringLiteral("repo/logs/2026-01-01_00-00-00_B.log"), log);
    for (const QString& file : {a, b}) {
        const timespec old[2] = {{1'700'000'000, 0}, {1'700'000'000, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), old, 0), 0);
    }
    const QStringList both{QStringLiteral("A"), QStringLiteral("B")};
    LogReader reader(repo.paths());
    EXPECT_EQ(latest(reader, both, QStringLiteral("A")), LogStatus::Success);
    EXPECT_EQ(latest(reader, both, QStringLiteral("A")), LogStatus::Success);
    restatus(a, "SUCCESS", "RUNNING");
    EXPECT_EQ(latest(reader, both, QStringLiteral("A")), LogStatus::Running);
    restatus(a, "RUNNING", "SUCCESS");
    EXPECT_EQ(latest(reader, both, QStringLiteral("A")), LogStatus::Success);

    // A task left out of one read is looked at again when it comes back: the
    // notices of the read it missed are gone by then, its file's time is not.
    restatus(b, "SUCCESS", "RUNNING");
    const timespec later[2] = {{1'700'000'100, 0}, {1'700'000'100, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(b).constData(), later, 0), 0);
    EXPECT_EQ(latest(reader, {QStringLiteral("A")}, QStringLiteral("A")), LogStatus::Success);
    EXPECT_EQ(latest(reader, both, QStringLiteral("B")), LogStatus::Running);
}

// Names are read without mktime where the offset is plain; through changes of
// offset (gaps, repeated hours, half-hour shifts, a skipped day) the reading
// must stay mktime's own.
TEST(LogTime, FileStampsReadAsMktimeReadsThem) {
    for (const char* zone : {"Europe/Berlin", "America/New_York", "Australia/Lord_Howe",
                             "Pacific/Apia", "America/Sao_Paulo", "Asia/Kolkata", "UTC"}) {
        const ScopedTimeZone tz(zone);
        for (const int year : {2011, 2018, 2026}) {
            std::tm start{};
            start.tm_year = year - 1900;
            const std::time_t from = timegm(&start);
            for (std::time_t at = from; at < from + 366 * 86400; at += 29 * 60 + 1) {
                std::tm p{};
                gmtime_r(&at, &p); // fields only: every wall-clock time, gaps too
                char stamp[96];
                std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d_%02d-%02d-%02d",
                              p.tm_year + 1900, p.tm_mon + 1, p.tm_mday, p.tm_hour, p.tm_min,
                              p.tm_sec);
                p.tm_isdst = -1;
                const std::time_t expected = std::mktime(&p);
                const auto read = LogTime::parseFileStamp(QString::fromLatin1(stamp));
                ASSERT_TRUE(read);
                ASSERT_EQ(read->toSecsSinceEpoch(), expected) << zone << " " << stamp;
            }
        }
    }
}

TEST_P(LogStoreTest, StartDateReadsLocalWallClock) {
    const auto d = LogStore::startDate(u"2026-12-08_04-26-32_Fotos_NAS.log", u"Fotos_NAS");
    ASSERT_TRUE(d);
    EXPECT_EQ(LogTime::fromDateTime(*d), localTime(2026, 12, 8, 4, 26, 32));
    EXPECT_FALSE(LogStore::startDate(u"2026-12-08_04-26-32_Fotos_NAS.log", u"NAS"));
    EXPECT_FALSE(LogStore::startDate(u"2026-02-30_04-26-32_A.log", u"A"));
    EXPECT_FALSE(LogStore::startDate(u"2026-12-08T04-26-32_A.log", u"A"));
    EXPECT_EQ(LogStore::fileName(localTime(2026, 7, 1, 23, 5, 9), QStringLiteral("X")),
              u"2026-07-01_23-05-09_X.log");
}

TEST_P(LogStoreTest, CleanupKeepsTheNewestAndRemovesStaleTempFiles) {
    for (int i = 1; i <= 5; ++i)
        repo.write(QStringLiteral("repo/logs/2026-01-0%1_00-00-00_A.log").arg(i), "x");
    repo.write(QStringLiteral("repo/logs/2026-01-01_00-00-00_B.log"), "x");
    const QString stale =
        repo.write(QStringLiteral("repo/logs/.2026-01-05_00-00-00_A.log.tmp-abc123"), "x");
    setAge(stale, hours(2));
    // Another finalize of the same safe name may be writing this one right now.
    const QString fresh =
        repo.write(QStringLiteral("repo/logs/.2026-01-04_00-00-00_A.log.tmp-def456"), "x");
    store.cleanup(QStringLiteral("A"), 3);
    EXPECT_TRUE(QFileInfo::exists(fresh));
    EXPECT_EQ(names(store.files(QStringLiteral("A"))),
              QStringList({QStringLiteral("2026-01-05_00-00-00_A.log"),
                           QStringLiteral("2026-01-04_00-00-00_A.log"),
                           QStringLiteral("2026-01-03_00-00-00_A.log")}));
    EXPECT_FALSE(QFileInfo::exists(store.directory +
                                   QStringLiteral("/.2026-01-05_00-00-00_A.log.tmp-abc123")));
    // Old by the clock of the run that cleans up, not by the machine's.
    store.cleanup(QStringLiteral("A"), 3, {}, Clock::now() + hours(2));
    EXPECT_FALSE(QFileInfo::exists(fresh));
    // However little is asked, the newest stays.
    store.cleanup(QStringLiteral("A"), -1);
    EXPECT_EQ(names(store.files(QStringLiteral("A"))),
              QStringList{QStringLiteral("2026-01-05_00-00-00_A.log")});
    EXPECT_EQ(store.files(QStringLiteral("B")).size(), 1);
}

// Only the task's own names are decoded and looked at: "A", not "X_A" or "A_B",
// whose names end or begin the same way, nor their temp files.
TEST_P(LogStoreTest, CleanupTouchesNoOtherTaskWhoseNamesLookAlike) {
    for (const char* task : {"A", "X_A", "A_B", "_A"})
        for (int i = 1; i <= 3; ++i)
            repo.write(QStringLiteral("repo/logs/2026-01-0%1_00-00-00_%2.log")
                           .arg(i)
                           .arg(QString::fromUtf8(task)),
                       "x");
    QStringList stale;
    for (const char* task : {"A", "X_A"}) {
        stale.append(repo.write(QStringLiteral("repo/logs/.2026-01-03_00-00-00_%1.log.tmp-old")
                                    .arg(QString::fromUtf8(task)),
                                "x"));
        setAge(stale.last(), hours(2));
    }
    store.cleanup(QStringLiteral("A"), 1);
    EXPECT_EQ(names(store.files(QStringLiteral("A"))),
              QStringList{QStringLiteral("2026-01-03_00-00-00_A.log")});
    for (const char* other : {"X_A", "A_B", "_A"})
        EXPECT_EQ(store.files(QString::fromUtf8(other)).size(), 3) << other;
    EXPECT_FALSE(QFileInfo::exists(stale[0]));
    EXPECT_TRUE(QFileInfo::exists(stale[1]));
}

TEST_P(LogStoreTest, CleanupSparesTheRunThatJustEndedWhereverItsNameSorts) {
    // Logs named while the clock or the zone stood hours ahead, and one in the future.
    for (int i = 1; i <= 3; ++i)
        repo.write(QStringLiteral("repo/logs/2026-03-0%1_12-00-00_A.log").arg(i), "x");
    repo.write(QStringLiteral("repo/logs/9999-12-31_23-59-59_A.log"), "x");
    const QString justEnded =
        repo.write(QStringLiteral("repo/logs/2026-03-01_06-00-00_A.log"), "x");
    store.cleanup(QStringLiteral("A"), 2, justEnded);
    EXPECT_EQ(names(store.files(QStringLiteral("A"))),
              QStringList({QStringLiteral("9999-12-31_23-59-59_A.log"),
                           QStringLiteral("2026-03-01_06-00-00_A.log")}));
}

INSTANTIATE_TEST_SUITE_P(TimeZones, LogStoreTest,
                         ::testing::Values("UTC", "Europe/Berlin", "America/Santiago"));

TEST(LogStats, SixPatternsFirstMatchEach) {
    const QString rsync =
        QStringLiteral("Number of files: 12 (reg: 10, dir: 2)\nNumber of files transferred: 3\n"
                       "Total file size: 1,024 bytes  \nTotal transferred file size: 512 bytes\n"
                       "Total bytes sent:\n   700\nTotal bytes received: 35\r\n"
                       "Number of files: 99\n");
    const LogStats stats = LogStore::parseStats(rsync);
    ASSERT_EQ(stats.size(), 6);
    EXPECT_EQ(stats[0], (LogStat{QStringLiteral("Files"), QStringLiteral("12 (reg: 10, dir: 2)")}));
    EXPECT_EQ(stats[1].value, u"3");
    EXPECT_EQ(stats[2].value, u"1,024 bytes");
    EXPECT_EQ(stats[4], (LogStat{QStringLiteral("Bytes sent"), QStringLiteral("700")}));
    EXPECT_EQ(stats[5].value, u"35") << "a CR ends the value";
    EXPECT_TRUE(LogStore::parseStats(QStringLiteral("Number of files transferred: 3")).size() == 1);
    EXPECT_TRUE(LogStore::parseStats(QStringLiteral("nothing here")).isEmpty());
    EXPECT_TRUE(LogStore::parseStats(QStringLiteral("Number of files transferred: x")).isEmpty());
}

// The streaming collector must agree with the whole-output rule on any output.
TEST(LogStats, StreamingCollectorMatchesTheWholeOutputRule) {
    const QStringList atoms = {QStringLiteral("Number of files:"),
                               QStringLiteral("Number of files transferred:"),
                               QStringLiteral("Total file size:"),
                               QStringLiteral("Total transferred file size:"),
                               QStringLiteral("Total bytes sent:"),
                               QStringLiteral("Total bytes received:"),
                               QStringLiteral(" "),
                               QStringLiteral("\t"),
                               QStringLiteral("\n"),
                               QStringLiteral("\r"),
                               QStringLiteral("\r\n"),
                               QStringLiteral("\v"),
                               QStringLiteral("\u00a0"),
                               QStringLiteral("\u2028"),
                               QStringLiteral("12"),
                               QStringLiteral("7"),
                               QStringLiteral("abc"),
                               QStringLiteral("x y"),
                               QStringLiteral("Number of"),
                               QStringLiteral("\u0663"),
                               QStringLiteral("\u00e9")};
    std::mt19937 rng(42);
    for (int round = 0; round < 20000; ++round) {
        QString output;
        const int n = 1 + static_cast<int>(rng() % 14);
        for (int i = 0; i < n; ++i)
            output += atoms[static_cast<qsizetype>(rng() % atoms.size())];
        StatsCollector collector;
        qsizetype start = 0;
        for (qsizetype i = 0; i <= output.size(); ++i) {
            if (i == output.size() || output[i] == u'\n' || output[i] == u'\r') {
                collector.addLine(QStringView(output).mid(start, i - start));
                start = i + 1;
            }
        }
        ASSERT_EQ(collector.finish(), LogStore::parseStats(output))
            << output.toUtf8().toPercentEncoding().constData();
    }
}
