// A task's history of 3,000 logs, as the history window and `savewright
// history` read it, next to a plain listing of the same folder (the least any
// reader must do) and next to opening and reading each file's first bytes.
#include "records/RunHistory.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kLogs = 3000;

struct Folder {
    QTemporaryDir dir;
    Folder() {
        const QByteArray body = QByteArray("rsync line\n").repeated(200);
        const Clock::time_point start = Clock::now() - std::chrono::hours(kLogs);
        for (int i = 0; i < kLogs; ++i) {
            QFile f(dir.path() + u'/' +
                    LogStore::fileName(start + std::chrono::hours(i), QStringLiteral("Task")));
            f.open(QIODevice::WriteOnly);
            f.write(QByteArray("Ferrymat Log \xe2\x80\x94 Task\nStarted: "
                               "2026-01-01T10:00:00.000000\nScript: t.sh\nStatus: ") +
                    (i % 9 ? "SUCCESS" : "FAILED") + "\n\n--- Output ---\n" + body +
                    "rsync error: code 23\n\n--- Finished: 2026-01-01T10:01:00.000000 ---\n"
                    "\n--- Stats ---\nFiles: 1,204\nTransferred size: 1.50M bytes\n");
        }
    }
};

void history(benchmark::State& state) {
    Folder folder;
    const LogStore store(folder.dir.path());
    for (auto _ : state)
        benchmark::DoNotOptimize(RunHistory::read(store, QStringLiteral("Task"), false));
}

// Only the order of the runs, which the history starts from.
void order(benchmark::State& state) {
    Folder folder;
    const LogStore store(folder.dir.path());
    for (auto _ : state)
        benchmark::DoNotOptimize(store.runs(QStringLiteral("Task")));
}

void listing(benchmark::State& state) {
    Folder folder;
    const QByteArray path = folder.dir.path().toUtf8();
    for (auto _ : state) {
        int n = 0;
        DIR* d = ::opendir(path.constData());
        while (::readdir(d))
            ++n;
        ::closedir(d);
        benchmark::DoNotOptimize(n);
    }
}

void openAndReadHead(benchmark::State& state) {
    Folder folder;
    const QByteArray path = folder.dir.path().toUtf8();
    char buffer[500];
    for (auto _ : state) {
        DIR* d = ::opendir(path.constData());
        while (const dirent* e = ::readdir(d)) {
            if (e->d_name[0] == '.') continue;
            const int fd = ::openat(dirfd(d), e->d_name, O_RDONLY | O_CLOEXEC);
            benchmark::DoNotOptimize(::pread(fd, buffer, sizeof buffer, 0));
            ::close(fd);
        }
        ::closedir(d);
    }
}

} // namespace

BENCHMARK(history)->Unit(benchmark::kMillisecond);
BENCHMARK(order)->Unit(benchmark::kMillisecond);
BENCHMARK(listing)->Unit(benchmark::kMillisecond);
BENCHMARK(openAndReadHead)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
