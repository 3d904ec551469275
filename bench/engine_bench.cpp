// The engine idle and at scale: ticks, refreshes of fresh and settled logs, run starts.
#include "engine/Engine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

namespace {

// Tasks x logs per task; the newest `succeeded` logs of each task succeeded, the
// older ones failed (0: the task never succeeded).
struct Setup {
    QTemporaryDir dir;
    Paths paths{dir.path() + QStringLiteral("/repo"), dir.path() + QStringLiteral("/support")};
    std::unique_ptr<QSettings> settings() const {
        return std::make_unique<QSettings>(dir.path() + QStringLiteral("/seen.ini"),
                                           QSettings::IniFormat);
    }
    Setup(int tasks, int logs, bool succeeded) {
        QDir().mkpath(paths.logs());
        QDir().mkpath(paths.appSupport);
        QByteArray toml;
        for (int t = 0; t < tasks; ++t) {
            toml += "[[task]]\nname = 'Task " + QByteArray::number(t) +
                    "'\ntype = 'scheduled'\nscript = 't.sh'\ninterval_minutes = 1e9\n";
            for (int l = 0; l < logs; ++l)
                write(logName(t, l), succeeded ? "SUCCESS" : "FAILED");
        }
        QFile config(paths.configFile());
        config.open(QIODevice::WriteOnly);
        config.write(toml);
    }
    // Log number `l` of task `t`, one hour apart, the newest first.
    QString logName(int t, int l) const {
        const QDateTime start =
            QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC).addSecs(3600 * (100000 - l));
        return start.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) +
               QStringLiteral("_Task_%1.log").arg(t);
    }
    void write(const QString& name, const char* status) const {
        QFile f(paths.logs() + u'/' + name);
        f.open(QIODevice::WriteOnly);
        f.write("Ferrymat Log \xe2\x80\x94 Task\nStarted: x\nScript: t.sh\nStatus: " +
                QByteArray(status) + "\n\n--- Output ---\n" +
                QByteArray("rsync line\n").repeated(40));
    }
    // Every file and the folder an hour old: nothing within the clock's doubt.
    void settle() const {
        const time_t hourAgo = std::time(nullptr) - 3600;
        const utimbuf times{hourAgo, hourAgo};
        for (const QString& name : QDir(paths.logs()).entryList(QDir::Files))
            ::utime(QFile::encodeName(paths.logs() + u'/' + name).constData(), &times);
        ::utime(QFile::encodeName(paths.logs()).constData(), &times);
    }
};

constexpr int kTasks = 100;
constexpr int kLogs = 30;

void idleTick(benchmark::State& state) {
    Setup setup(kTasks, kLogs, true);
    Engine engine(setup.paths, false, {}, setup.settings());
    engine.refreshLogs();
    for (auto _ : state)
        engine.tick(); // within 5 s of the refresh: no file is touched
}

// Files written just now are read again on every refresh; once their times are
// settled (older than two seconds) a refresh only checks them.
void refresh(benchmark::State& state) {
    Setup setup(kTasks, kLogs, true);
    if (state.range(0)) setup.settle();
    Engine engine(setup.paths, false, {}, setup.settings());
    for (auto _ : state)
        engine.refreshLogs();
}

// Settled refreshes at scale: tasks x logs, succeeded or never; next to its floor,
// one stat of each task's newest file.
void settledRefresh(benchmark::State& state) {
    Setup setup(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                state.range(2) != 0);
    setup.settle();
    Engine engine(setup.paths, false, {}, setup.settings());
    engine.refreshLogs();
    for (auto _ : state)
        engine.refreshLogs();
}

void settledFloor(benchmark::State& state) {
    Setup setup(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                state.range(2) != 0);
    const QByteArray folder = QFile::encodeName(setup.paths.logs());
    QList<QByteArray> newest;
    for (int t = 0; t < state.range(0); ++t)
        newest.append(QFile::encodeName(setup.logName(t, 0)));
    for (auto _ : state) {
        struct stat st {};
        const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::fstat(dir, &st);
        for (const QByteArray& name : newest)
            benchmark::DoNotOptimize(::fstatat(dir, name.constData(), &st, 0));
        ::close(dir);
    }
}

// A run starting: one new RUNNING log for one task, then the refresh the start makes.
void runStart(benchmark::State& state) {
    Setup setup(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), false);
    setup.settle();
    Engine engine(setup.paths, false, {}, setup.settings());
    engine.refreshLogs();
    int l = 0;
    for (auto _ : state) {
        state.PauseTiming();
        setup.write(setup.logName(0, --l), "RUNNING");
        state.ResumeTiming();
        engine.refreshLogs();
    }
}

// The last journal line of a small journal and of a 200 MB one.
void journal(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/loeschschutz.jsonl");
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    const QByteArray line = "{\"id\":\"x\",\"summary\":\"" + QByteArray(150, 's') + "\"}\n";
    for (qint64 written = 0; written < state.range(0); written += line.size())
        f.write(line);
    f.close();
    for (auto _ : state)
        benchmark::DoNotOptimize(Engine::lastJournalLine(path));
}

// The same scales for a figure and its floor.
void atScale(benchmark::internal::Benchmark* b) {
    b->ArgNames({"tasks", "logs", "succeeded"})
        ->Args({100, 30, 1})
        ->Args({1000, 30, 1})
        ->Args({1000, 30, 0})
        ->Args({10, 3000, 0})
        ->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(journal)->Arg(4 << 10)->Arg(200 << 20)->Unit(benchmark::kMicrosecond);
BENCHMARK(idleTick)->Unit(benchmark::kMicrosecond);
BENCHMARK(refresh)->ArgName("settled")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(settledRefresh)->Apply(atScale);
BENCHMARK(settledFloor)->Apply(atScale);
BENCHMARK(runStart)
    ->ArgNames({"tasks", "logs"})
    ->Args({1000, 30})
    ->Args({10, 3000})
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);
