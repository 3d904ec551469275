// The views' one watcher: every declared field of the engine and of a task
// redraws once when it changes, and not at all when it is assigned its value.
#include "model/EngineWatch.h"
#include "execution/TaskRunner.h"
#include "support/EngineTestDoor.h"
#include "support/TempRepo.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

// The QProperty members a header declares, counted from its text: a field added
// to the class but not to its forEachObservable makes the counts differ.
int declaredProperties(const char* header) {
    QFile f(QStringLiteral(SAVEWRIGHT_SOURCE "/SavewrightCore/") + QString::fromUtf8(header));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    static const QRegularExpression member(QStringLiteral(R"(^\s*QProperty<.*>\s+\w+\s*[{;])"),
                                           QRegularExpression::MultilineOption);
    int count = 0;
    for (auto it = member.globalMatch(QString::fromUtf8(f.readAll())); it.hasNext(); it.next())
        ++count;
    return count;
}

// A value unlike `v`, for every type an observable field holds.
bool differentFrom(bool v) {
    return !v;
}
int differentFrom(int v) {
    return v + 1;
}
QDateTime differentFrom(const QDateTime& v) {
    return v.isValid() ? v.addSecs(61) : QDateTime::fromSecsSinceEpoch(60, Qt::UTC);
}
QStringList differentFrom(const QStringList& v) {
    return v + QStringList{QStringLiteral("neu")};
}
TaskConfig differentFrom(const TaskConfig& v) {
    TaskConfig c = v;
    c.description += u'x';
    return c;
}
AppConfig differentFrom(const AppConfig& v) {
    AppConfig c = v;
    c.pollIntervalSeconds += 1;
    return c;
}
LogSummary differentFrom(const LogSummary& v) {
    LogSummary s = v;
    s.failureLine = s.failureLine.value_or(QString()) + u'x';
    return s;
}
Engine::TaskList differentFrom(const Engine::TaskList& v) {
    return v + Engine::TaskList{std::make_shared<TaskState>(
                   TaskConfig(QStringLiteral("Neu"), TaskType::External, QStringLiteral("n.sh")))};
}
std::shared_ptr<TaskRunner> differentFrom(const std::shared_ptr<TaskRunner>& v) {
    if (v) return nullptr;
    return std::make_shared<TaskRunner>(TaskConfig(), Paths(), false, nullptr);
}
template <typename K, typename V> QHash<K, V> differentFrom(const QHash<K, V>& v) {
    QHash<K, V> h = v;
    h.insert(QStringLiteral("/neu"), V());
    return h;
}
QSet<QString> differentFrom(const QSet<QString>& v) {
    return v + QSet<QString>{QStringLiteral("/neu")};
}
template <typename T> T sample() {
    if constexpr (std::is_same_v<T, UpdateInfo>)
        return UpdateInfo{QStringLiteral("9"), QStringLiteral("https://x.invalid/"), std::nullopt};
    else if constexpr (std::is_same_v<T, QDateTime>)
        return QDateTime::fromSecsSinceEpoch(120, Qt::UTC);
    else
        return T{};
}
template <typename T> std::optional<T> differentFrom(const std::optional<T>& v) {
    if (v) return std::nullopt;
    return sample<T>();
}

// Task "A" with the given settings, which succeeded half an hour ago, seen by
// an observing engine.
std::unique_ptr<Engine> halfAnHourAfterASuccess(const TempRepo& repo, const char* settings = "") {
    repo.write(QStringLiteral("support/config.toml"),
               QByteArray("[[task]]\nname = 'A'\ntype = 'scheduled'\nscript = 'a.sh'\n") +
                   settings);
    repo.write(QStringLiteral("repo/logs/") +
                   LogStore::fileName(Clock::now() - std::chrono::minutes(30), QStringLiteral("A")),
               "Ferrymat Log \xe2\x80\x94 A\nStarted: x\nScript: a.sh\nStatus: SUCCESS\n\n"
               "--- Output ---\nok\n");
    return std::make_unique<Engine>(
        repo.paths(), true, QStringList{},
        std::make_unique<QSettings>(repo.root() + QStringLiteral("/seen.ini"),
                                    QSettings::IniFormat));
}

} // namespace

TEST(EngineWatch, EveryDeclaredFieldRedrawsOnceAndAnEqualValueNever) {
    TempRepo repo;
    repo.write(QStringLiteral("support/config.toml"),
               "[[task]]\nname = 'A'\ntype = 'external'\nscript = 'a.sh'\n");
    Engine engine(repo.paths(), true, {},
                  std::make_unique<QSettings>(repo.root() + QStringLiteral("/seen.ini"),
                                              QSettings::IniFormat));
    const auto task = engine.tasks.value().first();
    QObject owner;
    int redraws = 0;
    bool clockOnly = false;
    EngineWatch watch(&engine, &owner, [&](bool c) {
        ++redraws;
        clockOnly = c;
    });
    QCoreApplication::processEvents();
    redraws = 0;
    int fields = 0;
    const auto change = [&](auto& property, bool clock) {
        ++fields;
        property = differentFrom(property.value());
        QCoreApplication::processEvents();
        EXPECT_EQ(redraws, 1) << "field " << fields;
        EXPECT_EQ(clockOnly, clock) << "field " << fields;
        redraws = 0;
        property = property.value();
        QCoreApplication::processEvents();
        EXPECT_EQ(redraws, 0) << "field " << fields << " assigned its own value";
    };
    QSet<const void*> seen;
    task->forEachObservable([&](auto& property) {
        seen.insert(&property);
        change(property, false);
    });
    EXPECT_EQ(fields, declaredProperties("records/TaskState.h"));
    const int taskFields = fields;
    engine.forEachObservable([&](auto& property, bool clock) {
        seen.insert(&property);
        change(property, clock);
    });
    EXPECT_EQ(fields - taskFields, declaredProperties("engine/Engine.h"));
    EXPECT_EQ(seen.size(), fields) << "each field once";
}

// An idle program wakes for the engine's tick alone: ticks that change nothing a
// view shows are not even passed on, a tick that does is, and while anything
// runs (its time counts up) every tick is.
TEST(EngineWatch, TicksThatChangeNothingShownAreNotPassedOn) {
    TempRepo repo;
    const auto made = halfAnHourAfterASuccess(repo);
    Engine& engine = *made;
    const QDateTime start = engine.now.value().addSecs(1);
    QObject owner;
    int calls = 0, draws = 0;
    std::unique_ptr<EngineWatch> watch;
    watch = std::make_unique<EngineWatch>(&engine, &owner, [&](bool clockOnly) {
        ++calls;
        if (!watch->passOver(clockOnly)) ++draws;
    });
    const auto tickTo = [&](int seconds) {
        EngineTestDoor::now(engine) = start.addSecs(seconds);
        QCoreApplication::processEvents();
    };
    tickTo(0);
    ASSERT_EQ(draws, 1);
    calls = 0;
    for (int s = 1; s <= 20; ++s)
        tickTo(s);
    EXPECT_EQ(calls, 0) << "\"vor 30 Min.\" stays for a minute";
    tickTo(45); // within the minute after the success's half hour turned
    tickTo(61);
    EXPECT_EQ(draws, 2) << "the text changed once: drawn once";

    const auto task = engine.tasks.value().first();
    task->running = true;
    QCoreApplication::processEvents();
    EXPECT_EQ(draws, 3);
    tickTo(62);
    tickTo(63);
    EXPECT_EQ(draws, 5) << "a running time changes every second";
    task->running = false;
    QCoreApplication::processEvents();
    calls = 0;
    watch->setClockMatters(false);
    tickTo(3600);
    EXPECT_EQ(calls, 0) << "a closed panel takes no ticks";
    task->pending = PendingStart{};
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 1) << "but every real change";
}

// An open panel has the engine tick when its ages change; the icon, which
// shows lights alone, lets it sleep until a light turns.
TEST(EngineWatch, AViewOfAgesAsksForTheMinuteAViewOfLightsDoesNot) {
    TempRepo repo;
    const auto made = halfAnHourAfterASuccess(repo, "warn_hours = 10\nred_hours = 20\n");
    Engine& engine = *made;
    engine.start();
    QObject owner;
    const auto draw = [](EngineWatch& w) { w.passOver(false); };
    EngineWatch icon(
        &engine, &owner, [](bool) {}, EngineWatch::Shows::Lights);
    draw(icon);
    EXPECT_GT(engine.nextTickMs().value_or(0), 4 * 60 * 1000) << "no light turns for hours";
    EngineWatch panel(&engine, &owner, [](bool) {});
    panel.setClockMatters(false);
    draw(panel);
    EXPECT_GT(engine.nextTickMs().value_or(0), 4 * 60 * 1000) << "a closed panel asks nothing";
    panel.setClockMatters(true);
    draw(panel);
    EXPECT_LE(engine.nextTickMs().value_or(-1), 60 * 1000)
        << "\"vor 30 Min.\" turns within a minute";
    engine.shutdown();
}
