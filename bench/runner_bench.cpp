// Throughput and memory of one run: a script writing 1 GiB in 100-byte lines,
// through the runner into its log while the main thread takes its progress
// reports as the engine does, next to the floor `bash script > file`. Lines are
// plain, all "50%", each with another percentage, or plain in a run that fails.
// CPU: the program's own (the CPU column) and the script's (script_cpu_s).
#include "base/MainThread.h"
#include "execution/TaskRunner.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>

#include <atomic>
#include <cstdlib>
#include <sys/resource.h>
#include <thread>

namespace {

const char* const kScripts[] = {
    "head -c 1073741824 < <(yes \"$(printf '%099d' 7)\")\n",
    "head -c 1073741824 < <(yes \"$(printf '%095d' 7) 50%\")\n",
    // 100 lines of 100 bytes with 0% to 99%, repeated.
    "block=$(for i in $(seq 0 99); do printf '%094d %2d%%\\n' 7 $i; done)\n"
    "head -c 1073741824 < <(while :; do printf '%s\\n' \"$block\"; done)\n",
    // Plain lines, then the run fails: its log is finished in place like a success.
    "head -c 1073741824 < <(yes \"$(printf '%099d' 7)\")\nexit 1\n",
};
constexpr int kFailing = 3;

struct Repo {
    QTemporaryDir dir;
    Paths paths{dir.path() + QStringLiteral("/repo"), dir.path() + QStringLiteral("/support")};
    explicit Repo(int kind) {
        QDir().mkpath(paths.scripts());
        QFile f(paths.scripts() + QStringLiteral("/big.sh"));
        f.open(QIODevice::WriteOnly);
        f.write(kScripts[kind]);
    }
};

// CPU seconds of the waited-for children (the scripts and what they started).
double childrenCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double residentMiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

void runner(benchmark::State& state) {
    Repo repo(static_cast<int>(state.range(0)));
    const double idle = residentMiB();
    const double scriptsBefore = childrenCpuSeconds();
    int applied = 0;
    for (auto _ : state) {
        TaskConfig task(QStringLiteral("Big"), TaskType::Scheduled, QStringLiteral("big.sh"));
        task.maxLogs = 0; // each run removes its own log again
        // As the engine runs it: on another thread, progress applied on this one.
        TaskRunner r(task, repo.paths, false,
                     latestToMain<int>([&](int) { ++applied; }, TaskRunner::kProgressGapMs));
        std::atomic<bool> ok{false};
        QEventLoop loop;
        std::thread run([&] {
            ok = r.run(Clock::now()).success;
            postToMain([&] { loop.quit(); }); // after every report it made
        });
        loop.exec();
        run.join();
        if (ok != (state.range(0) != kFailing)) state.SkipWithError("unexpected outcome");
    }
    state.counters["peak_rss_growth_MiB"] = residentMiB() - idle;
    state.counters["progress_posts"] = static_cast<double>(applied) / state.iterations();
    state.counters["script_cpu_s"] = (childrenCpuSeconds() - scriptsBefore) / state.iterations();
    state.SetBytesProcessed(state.iterations() * (1LL << 30));
}

void floorBash(benchmark::State& state) {
    Repo repo(static_cast<int>(state.range(0)));
    const QByteArray command = "/bin/bash " + QFile::encodeName(repo.paths.scripts()) +
                               "/big.sh > " + QFile::encodeName(repo.dir.path()) + "/out.log";
    const double scriptsBefore = childrenCpuSeconds();
    for (auto _ : state)
        if ((std::system(command.constData()) != 0) != (state.range(0) == kFailing))
            state.SkipWithError("unexpected outcome");
    state.counters["script_cpu_s"] = (childrenCpuSeconds() - scriptsBefore) / state.iterations();
    state.SetBytesProcessed(state.iterations() * (1LL << 30));
}

} // namespace

BENCHMARK(runner)
    ->ArgName("lines")
    ->DenseRange(0, kFailing)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(floorBash)
    ->ArgName("lines")
    ->DenseRange(0, kFailing)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
