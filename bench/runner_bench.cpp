// Throughput and memory of one run: a script writing 1 GiB in 100-byte lines,
// through the runner into its log, next to the floor `bash script > file`.
#include "execution/TaskRunner.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <sys/resource.h>

namespace {

constexpr const char* kScript = "head -c 1073741824 < <(yes \"$(printf '%099d' 7)\")\n";

struct Repo {
    QTemporaryDir dir;
    Paths paths{dir.path() + QStringLiteral("/repo"), dir.path() + QStringLiteral("/support")};
    Repo() {
        QDir().mkpath(paths.scripts());
        QFile f(paths.scripts() + QStringLiteral("/big.sh"));
        f.open(QIODevice::WriteOnly);
        f.write(kScript);
    }
};

double residentMiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

void runner(benchmark::State& state) {
    Repo repo;
    const double idle = residentMiB();
    int reports = 0;
    for (auto _ : state) {
        TaskConfig task(QStringLiteral("Big"), TaskType::Scheduled, QStringLiteral("big.sh"));
        task.maxLogs = 0; // each run removes its own log again
        TaskRunner r(task, repo.paths, false, [&](int) { ++reports; });
        const TaskRunner::Result result = r.run(Clock::now());
        if (!result.success) state.SkipWithError("run failed");
    }
    state.counters["peak_rss_growth_MiB"] = residentMiB() - idle;
    state.SetBytesProcessed(state.iterations() * (1LL << 30));
}

void floorBash(benchmark::State& state) {
    Repo repo;
    const QByteArray command = "/bin/bash " + QFile::encodeName(repo.paths.scripts()) +
                               "/big.sh > " + QFile::encodeName(repo.dir.path()) + "/out.log";
    for (auto _ : state)
        if (std::system(command.constData()) != 0) state.SkipWithError("bash failed");
    state.SetBytesProcessed(state.iterations() * (1LL << 30));
}

} // namespace

BENCHMARK(runner)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(floorBash)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
