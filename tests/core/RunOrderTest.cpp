// Which run is newest, and which logs a clean-up removes, when the time zone or
// the clock moved between runs, or a log is named for a time that never came.
#include "records/LogStore.h"
#include "support/EngineFixture.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace {

using namespace std::chrono;

Clock::time_point wholeSeconds(Clock::time_point t) {
    return floor<seconds>(t);
}

QDateTime date(Clock::time_point t) {
    return LogTime::toDateTime(t);
}

void setChanged(const QString& file, Clock::time_point t) {
    const auto ns = duration_cast<nanoseconds>(t.time_since_epoch()).count();
    const timespec times[2] = {{ns / 1'000'000'000, ns % 1'000'000'000},
                               {ns / 1'000'000'000, ns % 1'000'000'000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), times, 0), 0);
}

// A run as this program makes it: begun at `start` on the clock of the moment,
// finished a minute later, when its log last changed.
QString madeRun(const LogStore& store, Clock::time_point start, bool success) {
    const LogStore::Opened o =
        store.open(QStringLiteral("A"), QStringLiteral("A"), QStringLiteral("a.sh"), start);
    EXPECT_FALSE(o.error);
    PosixFile::writeAll(o.fd.get(), success ? "copied\n" : "disk gone\n");
    LogStore::finalize(o.fd.get(), {}, success, start + 60s);
    setChanged(o.file, start + 60s);
    return QFileInfo(o.file).fileName();
}

struct Flight {
    const char* from;
    const char* to;
};
void PrintTo(const Flight& f, std::ostream* os) {
    *os << f.from << " to " << f.to;
}

class ZoneChange : public ::testing::TestWithParam<std::tuple<Flight, bool>> {
  protected:
    TempRepo repo;
    LogStore store{repo.paths().logs()};
};

} // namespace

// Two runs before a flight, a failed one after: the failure is the news, and the
// clean-up keeps the newest runs, whether or not the runs were recorded when made.
TEST_P(ZoneChange, TheRunAfterAFlightIsTheNewest) {
    const auto [flight, recorded] = GetParam();
    const auto t0 = wholeSeconds(Clock::now() - hours(72));
    QStringList made;
    {
        ScopedTimeZone from(flight.from);
        made << madeRun(store, t0, true) << madeRun(store, t0 + 1h, true);
    }
    ScopedTimeZone to(flight.to);
    made << madeRun(store, t0 + 2h, false);
    if (!recorded) QFile::remove(RunOrder::recordFile(store.directory, QStringLiteral("A")));

    EXPECT_EQ(store.fileNames(QStringLiteral("A")), (QStringList{made[2], made[1], made[0]}));
    const LogSummary s = store.summary(QStringLiteral("A"));
    EXPECT_EQ(s.latestStatus, LogStatus::Failed);
    EXPECT_EQ(s.failureLine, QStringLiteral("disk gone"));
    EXPECT_EQ(s.latestStart, date(t0 + 2h));
    ASSERT_TRUE(s.lastSuccess);
    // A name is never believed to be later than its file's last change: without
    // a record a run can look older than it was, never fresher.
    if (recorded)
        EXPECT_EQ(*s.lastSuccess, date(t0 + 1h));
    else
        EXPECT_LE(*s.lastSuccess, date(t0 + 1h));

    store.cleanup(QStringLiteral("A"), 2, store.directory + u'/' + made[2]);
    EXPECT_EQ(store.fileNames(QStringLiteral("A")), (QStringList{made[2], made[1]}));
}

INSTANTIATE_TEST_SUITE_P(
    Flights, ZoneChange,
    ::testing::Combine(::testing::Values(Flight{"Europe/Berlin", "America/New_York"},
                                         Flight{"America/New_York", "Europe/Berlin"},
                                         Flight{"Asia/Tokyo", "Pacific/Honolulu"},
                                         Flight{"Pacific/Kiritimati", "Pacific/Pago_Pago"},
                                         Flight{"UTC", "Asia/Kolkata"}),
                       ::testing::Bool()),
    [](const auto& info) {
        QString name = QString::fromLatin1(std::get<0>(info.param).from) + QStringLiteral("_to_") +
                       QString::fromLatin1(std::get<0>(info.param).to) +
                       (std::get<1>(info.param) ? QStringLiteral("_recorded") : QString());
        name.replace(u'/', u'_');
        return name.toStdString();
    });

TEST(RunOrder, TheAutumnHourThatComesTwiceKeepsTheOrderOfMaking) {
    TempRepo repo;
    const LogStore store(repo.paths().logs());
    ScopedTimeZone berlin("Europe/Berlin");
    // 02:50 summer time, then 02:10 winter time twenty minutes later.
    const auto first = Clock::from_time_t(1792889400); // 2026-10-25 00:50 UTC
    const QString a = madeRun(store, first, true);
    const QString b = madeRun(store, first + 20min, false);
    ASSERT_GT(a, b) << "the later run's name sorts first";
    EXPECT_EQ(store.fileNames(QStringLiteral("A")), (QStringList{b, a}));
    EXPECT_EQ(store.summary(QStringLiteral("A")).latestStatus, LogStatus::Failed);
}

TEST(RunOrder, AClockSteppedBackAndANameFromTheFutureNeitherWin) {
    TempRepo repo;
    const LogStore store(repo.paths().logs());
    const auto t = wholeSeconds(Clock::now() - hours(30));
    QStringList made{madeRun(store, t, true), madeRun(store, t + 1h, true)};
    // The clock was five hours ahead and is put right.
    made << madeRun(store, t + 1h + 10min - 5h, false);
    LogSummary s = store.summary(QStringLiteral("A"));
    EXPECT_EQ(s.latestFile, store.directory + u'/' + made[2]);
    EXPECT_EQ(s.latestStatus, LogStatus::Failed);
    EXPECT_EQ(s.lastSuccess, date(t + 1h));
    store.cleanup(QStringLiteral("A"), 1, store.directory + u'/' + made[2]);
    EXPECT_EQ(store.fileNames(QStringLiteral("A")), QStringList{made[2]});
    made << madeRun(store, t + 1h + 20min - 5h, true);

    // Another program leaves a successful log named for the year 9999.
    const QString future = repo.write(QStringLiteral("repo/logs/9999-12-31_23-59-59_A.log"),
                                      "Ferrymat Log \xe2\x80\x94 A\nStarted: x\nScript: "
                                      "a.sh\nStatus: SUCCESS\n\n--- Output ---\n");
    const auto written = t + 2h;
    setChanged(future, written);
    made << madeRun(store, t + 3h, false);
    s = store.summary(QStringLiteral("A"));
    EXPECT_EQ(s.latestFile, store.directory + u'/' + made[4]);
    EXPECT_EQ(s.lastSuccess, date(written)) << "dated by when it was written";
    store.cleanup(QStringLiteral("A"), 2, store.directory + u'/' + made[4]);
    EXPECT_EQ(store.fileNames(QStringLiteral("A")),
              (QStringList{made[4], QStringLiteral("9999-12-31_23-59-59_A.log")}))
        << "kept as the run before, not removed first";
}

TEST(RunOrder, TheRecordForgetsRemovedLogsAndSurvivesDamage) {
    TempRepo repo;
    const LogStore store(repo.paths().logs());
    const auto t = wholeSeconds(Clock::now() - hours(10));
    for (int i = 0; i < 5; ++i)
        madeRun(store, t + minutes(i), true);
    store.cleanup(QStringLiteral("A"), 2);
    const QString last = madeRun(store, t + 10min, false);
    EXPECT_EQ(RunOrder::recorded(store.directory, QStringLiteral("A")).size(), 3);
    repo.write(QStringLiteral("repo/logs/.locks/A.runs"), "garbage\n\n12 \nx y\n");
    EXPECT_EQ(store.summary(QStringLiteral("A")).latestFile, store.directory + u'/' + last);
}

namespace {

class ZoneInOneProcess : public EngineFixture {};

} // namespace

TEST_F(ZoneInOneProcess, AFailureAfterTheZoneMovedBackIsAnnounced) {
    writeConfig("[[task]]\nname = 'A'\ntype = 'scheduled'\nscript = 'a.sh'\nmax_logs = 2\n");
    repo.script(QStringLiteral("a.sh"),
                "if [ -e \"$PWD/../fail\" ]; then echo 'disk gone'; exit 1; fi\necho ok\n");
    QList<Alert> alerts;
    std::optional<ScopedTimeZone> zone(std::in_place, "Europe/Berlin");
    auto e = makeEngine();
    e->onAlert = [&](const Alert& a) { alerts.append(a); };
    e->start(); // never ran: due at once
    ASSERT_TRUE(waitUntil(
        [&] { return !task(*e, "A")->running && task(*e, "A")->summary.value().latestFile; }));
    ASSERT_EQ(task(*e, "A")->summary.value().latestStatus, LogStatus::Success);

    zone.emplace("America/New_York");
    advance(600);
    repo.write(QStringLiteral("fail"), "x");
    e->runNow(task(*e, "A"), false);
    ASSERT_TRUE(waitUntil([&] { return !task(*e, "A")->running; }));
    e->refreshLogs();
    const LogSummary s = task(*e, "A")->summary.value();
    EXPECT_EQ(s.latestStatus, LogStatus::Failed);
    EXPECT_EQ(s.failureLine, QStringLiteral("disk gone"));
    ASSERT_TRUE(s.latestFile);
    EXPECT_EQ(LogStore(repo.paths().logs()).files(QStringLiteral("A")).size(), 2);
    EXPECT_TRUE(std::any_of(alerts.cbegin(), alerts.cend(),
                            [](const Alert& a) { return a.kind == Alert::Kind::Failed; }));
}
