#include "records/Schedule.h"
#include "records/RelativeTime.h"
#include "support/TempRepo.h"

#include <gtest/gtest.h>

#include <ctime>

namespace {

QDateTime local(int y, int mo, int d, int h, int mi, int s = 0) {
    return LogTime::toDateTime(localTime(y, mo, d, h, mi, s));
}

TaskConfig task(TaskType type) {
    return TaskConfig(QStringLiteral("T"), type, QStringLiteral("t.sh"));
}

const Schedule::MountedTest kNone = [](const QString&) { return false; };

bool weeklyDue(const char* day, const char* time, QDateTime now, std::optional<QDateTime> last) {
    TaskConfig t = task(TaskType::Weekly);
    t.day = QString::fromLatin1(day);
    t.time = QString::fromLatin1(time);
    return Schedule::isDue(t, last, now, kNone);
}

class WeeklyTest : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override { tz_.emplace(GetParam()); }
    std::optional<ScopedTimeZone> tz_;
};

} // namespace

TEST(Schedule, LightLimitsAreInclusiveOnTheBetterSide) {
    using S = TaskStatus;
    EXPECT_EQ(Schedule::light(std::nullopt, 24, 72), S::Never);
    EXPECT_EQ(Schedule::light(24.0, 24, 72), S::Green);
    EXPECT_EQ(Schedule::light(24.01, 24, 72), S::Yellow);
    EXPECT_EQ(Schedule::light(72.0, 24, 72), S::Yellow);
    EXPECT_EQ(Schedule::light(72.01, 24, 72), S::Red);
    EXPECT_EQ(Schedule::light(50.0, 100, 10), S::Green);
    EXPECT_EQ(text(S::Never), u"never");
    EXPECT_EQ(taskStatusFromText(QStringLiteral("yellow")), S::Yellow);
    EXPECT_FALSE(taskStatusFromText(QStringLiteral("Yellow")));
}

TEST(Schedule, IntervalAndMountKinds) {
    const QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
    const TaskConfig s = task(TaskType::Scheduled);
    EXPECT_TRUE(Schedule::isDue(s, now.addSecs(-1800), now, kNone));
    EXPECT_FALSE(Schedule::isDue(s, now.addSecs(-1764), now, kNone));
    EXPECT_TRUE(Schedule::isDue(s, std::nullopt, now, kNone));
    EXPECT_FALSE(Schedule::isDue(task(TaskType::External), std::nullopt, now, kNone));

    TaskConfig m = task(TaskType::OnMount);
    EXPECT_TRUE(Schedule::isDue(m, now.addSecs(-24 * 3600), now, kNone)) << "no volumes: interval";
    m.watchVolumes = {QStringLiteral("/a"), QStringLiteral("/b")};
    QStringList asked;
    const Schedule::MountedTest onlyA = [&](const QString& v) {
        asked.append(v);
        return v == u"/a";
    };
    EXPECT_TRUE(Schedule::isDue(m, std::nullopt, now, onlyA));
    EXPECT_EQ(asked, QStringList{QStringLiteral("/a")}) << "stops at the deciding volume";
    m.requireAllVolumes = true;
    EXPECT_FALSE(Schedule::isDue(m, std::nullopt, now, onlyA));
    EXPECT_FALSE(Schedule::volumesMounted(m, kNone));
}

TEST_P(WeeklyTest, WindowOnTheDayOfNow) {
    // 6 December 2026 is a Sunday.
    const auto old = local(2026, 11, 20, 3, 0);
    EXPECT_TRUE(weeklyDue("Sunday", "03:00", local(2026, 12, 6, 2, 0), old));
    EXPECT_TRUE(weeklyDue("sunday", "03:00", local(2026, 12, 6, 3, 0), old));
    EXPECT_TRUE(weeklyDue("sunday", "03:00", local(2026, 12, 6, 4, 0), old));
    EXPECT_FALSE(weeklyDue("sunday", "03:00", local(2026, 12, 6, 4, 0, 1), old));
    EXPECT_FALSE(weeklyDue("sunday", "03:00", local(2026, 12, 7, 3, 0), old));
    EXPECT_FALSE(weeklyDue("sunday", "03:00", local(2026, 12, 6, 3, 0), local(2026, 12, 1, 3, 0)));
    EXPECT_TRUE(weeklyDue("sunday", "03:00", local(2026, 12, 6, 3, 0), std::nullopt));
    EXPECT_TRUE(weeklyDue("sunday", "00:30", local(2026, 12, 6, 0, 0), old));
    EXPECT_FALSE(weeklyDue("sunday", "00:30", local(2026, 12, 5, 23, 45), old));
    EXPECT_TRUE(weeklyDue("sunday", "3:0", local(2026, 12, 6, 3, 0), old));
    EXPECT_FALSE(weeklyDue("sunday", "03:00:00", local(2026, 12, 6, 3, 0), old));
    EXPECT_FALSE(weeklyDue("sonntag", "03:00", local(2026, 12, 6, 3, 0), old));
    EXPECT_FALSE(weeklyDue("sun", "03:00", local(2026, 12, 6, 3, 0), old));
    EXPECT_FALSE(weeklyDue("sunday", "25:00", local(2026, 12, 6, 3, 0), old));
}

TEST_P(WeeklyTest, DaylightSavingGapTakesTheNextExistingTime) {
    // Europe switches at 02:00 on the last Sunday of March (29 March 2026).
    const auto old = local(2026, 3, 1, 3, 0);
    // In Berlin 02:30 does not exist on 29 March 2026: the slot becomes 03:00 (not 03:30).
    const bool berlin = std::string(GetParam()) == "Europe/Berlin";
    const QDateTime slot = berlin ? local(2026, 3, 29, 3, 0) : local(2026, 3, 29, 2, 30);
    EXPECT_TRUE(weeklyDue("sunday", "02:30", slot.addSecs(3600), old));
    EXPECT_FALSE(weeklyDue("sunday", "02:30", slot.addSecs(3601), old));
    EXPECT_TRUE(weeklyDue("sunday", "02:30", slot.addSecs(-3600), old));
}

INSTANTIATE_TEST_SUITE_P(TimeZones, WeeklyTest, ::testing::Values("UTC", "Europe/Berlin"));

TEST(Schedule, DaylightSavingGapAtMidnightKeepsTheSlotOnItsDay) {
    // Havana: on Sunday 8 March 2026 the clock jumps from 00:00 to 01:00, so
    // 00:00 and 00:30 become 01:00 that Sunday (05:00 UTC), never Saturday.
    const ScopedTimeZone tz("America/Havana");
    const auto utc = [](int h, int m) {
        return QDateTime(QDate(2026, 3, 8), QTime(h, m), Qt::UTC);
    };
    const auto old = std::optional(utc(0, 0).addDays(-10));
    for (const char* time : {"00:00", "00:30"}) {
        EXPECT_TRUE(weeklyDue("sunday", time, utc(5, 0), old)) << time; // 01:00 local
        EXPECT_TRUE(weeklyDue("sunday", time, utc(6, 0), old)) << time; // 02:00 local
        EXPECT_FALSE(weeklyDue("sunday", time, utc(6, 1), old)) << time;
        EXPECT_FALSE(weeklyDue("sunday", time, utc(4, 30), old)) << time; // Saturday 23:30
    }
}

TEST_P(WeeklyTest, CatchUpMakesAMissedWindowDueOnce) {
    // Sunday 6 December 2026, window 02:00-04:00; the machine was off then.
    TaskConfig t = task(TaskType::Weekly);
    const auto due = [&](QDateTime now, std::optional<QDateTime> last) {
        return Schedule::isDue(t, last, now, kNone);
    };
    const auto lastWeek = local(2026, 11, 29, 3, 0);
    const auto monday = local(2026, 12, 7, 9, 0);
    EXPECT_FALSE(due(monday, lastWeek)) << "without catch_up the week waits";
    t.catchUp = true;
    EXPECT_TRUE(due(monday, lastWeek));
    EXPECT_TRUE(due(monday, std::nullopt));
    EXPECT_FALSE(due(monday, local(2026, 12, 7, 8, 0))) << "caught up: not again";
    EXPECT_FALSE(due(local(2026, 12, 5, 9, 0), local(2026, 11, 29, 3, 0)))
        << "Saturday: last week's window was kept";
    EXPECT_FALSE(due(monday, local(2026, 12, 5, 9, 0))) << "a success the day before is enough";
}

TEST(Schedule, ProgressInOutput) {
    EXPECT_EQ(Schedule::progress(u"  1,234 100%  2.3MB/s to-check=250/1000)"), 75);
    EXPECT_EQ(Schedule::progress(u"to-check=0/0 45%"), 45);
    EXPECT_EQ(Schedule::progress(u"to-check=0/0"), std::nullopt);
    EXPECT_EQ(Schedule::progress(u"45%"), 45);
    EXPECT_EQ(Schedule::progress(u"100%"), 100);
    EXPECT_EQ(Schedule::progress(u"1234%"), std::nullopt);
    EXPECT_EQ(Schedule::progress(u"450%"), std::nullopt);
    EXPECT_EQ(Schedule::progress(u"to-check=3/7"), 57);
    EXPECT_EQ(Schedule::progress(u"to-check=9/3"), -200);
    EXPECT_EQ(Schedule::progress(u"a5%"), std::nullopt) << "needs a word boundary";
    EXPECT_EQ(Schedule::progress(u"to-check=99999999999999999999/1 7%"), 7);
    EXPECT_EQ(Schedule::progress(u"nothing"), std::nullopt);
    // Debian's rsync (3.1 and later) writes "to-chk=".
    EXPECT_EQ(
        Schedule::progress(u"         32,768 100%   31.25MB/s    0:00:00 (xfr#1, to-chk=3/7)"), 57);
    EXPECT_EQ(Schedule::progress(u"(xfr#4, to-chk=0/0) 12%"), 12);
}

// When a task is due next, for every kind, and how that reads.
TEST_P(WeeklyTest, NextDueForEveryKindAndItsText) {
    const QDateTime now = local(2026, 12, 9, 10, 0); // a Wednesday
    TaskConfig s = task(TaskType::Scheduled);
    s.intervalMinutes = 30;
    EXPECT_EQ(Schedule::nextDue(s, now.addSecs(-18 * 60), now, kNone).at, now.addSecs(12 * 60));
    EXPECT_EQ(Schedule::nextDue(s, now.addSecs(-3600), now, kNone).at, now) << "overdue: now";
    EXPECT_EQ(Schedule::nextDue(s, std::nullopt, now, kNone).at, now) << "never ran";

    TaskConfig m = task(TaskType::OnMount);
    m.watchVolumes = {QStringLiteral("/mnt/nas"), QStringLiteral("/mnt/usb")};
    const Schedule::MountedTest usb = [](const QString& v) { return v == u"/mnt/usb"; };
    EXPECT_EQ(Schedule::nextDue(m, now.addSecs(-3600), now, usb).at, now.addSecs(23 * 3600));
    m.requireAllVolumes = true;
    const Schedule::NextDue waits = Schedule::nextDue(m, now.addSecs(-3600), now, usb);
    EXPECT_EQ(waits.at, std::nullopt);
    EXPECT_EQ(waits.volumes, QStringList{QStringLiteral("/mnt/nas")}) << "only what is missing";
    m.requireAllVolumes = false;
    EXPECT_EQ(Schedule::nextDue(m, now, now, kNone).volumes, m.watchVolumes) << "any of them";

    // Sunday 03:00: the window opens at 02:00; a success on Tuesday waits a week more.
    TaskConfig w = task(TaskType::Weekly);
    EXPECT_EQ(Schedule::nextDue(w, local(2026, 12, 6, 3, 0), now, kNone).at,
              local(2026, 12, 13, 2, 0));
    EXPECT_EQ(Schedule::nextDue(w, local(2026, 12, 8, 3, 0), now, kNone).at,
              local(2026, 12, 20, 2, 0));
    // In the window, six days after the last: as soon as they have passed.
    const QDateTime inWindow = local(2026, 12, 13, 2, 10);
    EXPECT_EQ(Schedule::nextDue(w, local(2026, 12, 7, 2, 30), inWindow, kNone).at,
              local(2026, 12, 13, 2, 30));
    EXPECT_EQ(Schedule::nextDue(task(TaskType::External), std::nullopt, now, kNone),
              Schedule::NextDue{});

    EXPECT_EQ(RelativeTime::ahead(now.addSecs(-5), now), u"jetzt");
    EXPECT_EQ(RelativeTime::ahead(now.addSecs(12 * 60), now), u"in 12 Min.");
    EXPECT_EQ(RelativeTime::ahead(now.addSecs(30), now), u"in 1 Min.");
    EXPECT_EQ(RelativeTime::ahead(now.addSecs(3599), now), u"heute 10:59") << "never 60 Min.";
    EXPECT_EQ(RelativeTime::ahead(local(2026, 12, 9, 14, 30), now), u"heute 14:30");
    EXPECT_EQ(RelativeTime::ahead(local(2026, 12, 10, 6, 0), now), u"morgen 06:00");
    EXPECT_EQ(RelativeTime::ahead(local(2026, 12, 13, 2, 0), now), u"Sonntag 02:00");
    EXPECT_EQ(RelativeTime::ahead(local(2026, 12, 20, 2, 0), now), u"20.12.2026 02:00");
    EXPECT_EQ(RelativeTime::clock(local(2026, 12, 9, 14, 30), now), u"14:30");
}
