// The engine idle with 100 tasks x 30 logs: a tick that does not refresh, and one refresh.
#include "engine/Engine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <ctime>
#include <utime.h>

namespace {

constexpr int kTasks = 100;
constexpr int kLogs = 30;

struct Setup {
    QTemporaryDir dir;
    Paths paths{dir.path() + QStringLiteral("/repo"), dir.path() + QStringLiteral("/support")};
    std::unique_ptr<QSettings> settings() const {
        return std::make_unique<QSettings>(dir.path() + QStringLiteral("/seen.ini"),
                                           QSettings::IniFormat);
    }
    Setup() {
        QDir().mkpath(paths.logs());
        QDir().mkpath(paths.appSupport);
        QByteArray toml;
        for (int t = 0; t < kTasks; ++t) {
            toml += "[[task]]\nname = 'Task " + QByteArray::number(t) +
                    "'\ntype = 'scheduled'\nscript = 't.sh'\ninterval_minutes = 1e9\n";
            for (int l = 0; l < kLogs; ++l) {
                QFile f(paths.logs() + QStringLiteral("/2026-%1-%2_10-00-00_Task_%3.log")
                                           .arg(l / 28 + 1, 2, 10, QLatin1Char('0'))
                                           .arg(l % 28 + 1, 2, 10, QLatin1Char('0'))
                                           .arg(t));
                f.open(QIODevice::WriteOnly);
                f.write(
                    "Ferrymat Log \xe2\x80\x94 Task\nStarted: x\nScript: t.sh\nStatus: SUCCESS\n\n"
                    "--- Output ---\n" +
                    QByteArray("rsync line\n").repeated(40));
            }
        }
        QFile config(paths.configFile());
        config.open(QIODevice::WriteOnly);
        config.write(toml);
    }
};

void idleTick(benchmark::State& state) {
    Setup setup;
    Engine engine(setup.paths, false, {}, setup.settings());
    engine.refreshLogs();
    for (auto _ : state)
        engine.tick(); // within 5 s of the refresh: no file is touched
}

// Files written just now are read again on every refresh; once their times are
// settled (older than two seconds) a refresh only checks them.
void refresh(benchmark::State& state) {
    Setup setup;
    if (state.range(0)) {
        const time_t hourAgo = std::time(nullptr) - 3600;
        const utimbuf times{hourAgo, hourAgo};
        for (const QString& name : QDir(setup.paths.logs()).entryList(QDir::Files))
            ::utime(QFile::encodeName(setup.paths.logs() + u'/' + name).constData(), &times);
        ::utime(QFile::encodeName(setup.paths.logs()).constData(), &times);
    }
    Engine engine(setup.paths, false, {}, setup.settings());
    for (auto _ : state)
        engine.refreshLogs();
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

} // namespace

BENCHMARK(journal)->Arg(4 << 10)->Arg(200 << 20)->Unit(benchmark::kMicrosecond);
BENCHMARK(idleTick)->Unit(benchmark::kMicrosecond);
BENCHMARK(refresh)->ArgName("settled")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
