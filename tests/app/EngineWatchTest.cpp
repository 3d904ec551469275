// The views' one watcher: every declared field of the engine and of a task
// redraws once when it changes, and not at all when it is assigned its value.
#include "EngineWatch.h"
#include "execution/TaskRunner.h"
#include "support/TempRepo.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

namespace {

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
    task->forEachObservable([&](auto& property) { change(property, false); });
    EXPECT_EQ(fields, 18);
    engine.forEachObservable(change);
    EXPECT_EQ(fields, 18 + 15);
}
