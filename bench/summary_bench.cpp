// The log summary of 100 tasks x 30 logs from one listing, next to the floor:
// the same folder read with raw POSIX calls doing only the reads the rules need.
#include "records/LogStore.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kTasks = 100;
constexpr int kLogs = 30;

struct Folder {
    QTemporaryDir dir;
    explicit Folder(bool successes) {
        const QByteArray body = QByteArray("rsync line\n").repeated(40);
        for (int t = 0; t < kTasks; ++t)
            for (int l = 0; l < kLogs; ++l) {
                const QByteArray name = QStringLiteral("2026-%1-%2_10-00-00_Task_%3.log")
                                            .arg(l / 28 + 1, 2, 10, QLatin1Char('0'))
                                            .arg(l % 28 + 1, 2, 10, QLatin1Char('0'))
                                            .arg(t)
                                            .toUtf8();
                QFile f(dir.path() + u'/' + QString::fromUtf8(name));
                f.open(QIODevice::WriteOnly);
                f.write("Ferrymat Log \xe2\x80\x94 Task " + QByteArray::number(t) +
                        "\nStarted: 2026-01-01T10:00:00.000000\nScript: t.sh\nStatus: " +
                        (successes ? "SUCCESS" : "FAILED") + "\n\n--- Output ---\n" + body +
                        "rsync error: code 23\n\n--- Finished: 2026-01-01T10:01:00.000000 ---\n");
            }
    }
};

void ours(benchmark::State& state, bool successes) {
    Folder folder(successes);
    const LogStore store(folder.dir.path());
    for (auto _ : state) {
        const LogListing listing = store.listing();
        for (int t = 0; t < kTasks; ++t)
            benchmark::DoNotOptimize(store.summary(QStringLiteral("Task_%1").arg(t), &listing));
    }
}

bool readBytes(const std::string& path, off_t offset, size_t limit, std::string& out) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    if (offset < 0) offset = std::max<off_t>(0, ::lseek(fd, 0, SEEK_END) + offset);
    out.resize(limit);
    ssize_t n = ::pread(fd, out.data(), limit, offset);
    ::close(fd);
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return n > 0;
}

void floor(benchmark::State& state, bool successes) {
    Folder folder(successes);
    const std::string dir = folder.dir.path().toStdString();
    std::string buf;
    for (auto _ : state) {
        std::map<std::string, std::vector<std::string>> byTask;
        DIR* d = ::opendir(dir.c_str());
        while (const dirent* e = ::readdir(d)) {
            const size_t len = std::strlen(e->d_name);
            if (len > 24 && std::strcmp(e->d_name + len - 4, ".log") == 0)
                byTask[std::string(e->d_name + 20, len - 24)].emplace_back(e->d_name);
        }
        ::closedir(d);
        for (auto& [task, names] : byTask) {
            std::sort(names.begin(), names.end(), std::greater<>());
            const std::string newest = dir + '/' + names.front();
            if (!successes) {
                readBytes(newest, -4096, 4096, buf); // abort markers
                readBytes(newest, 0, 1 << 20, buf);  // failure line
            }
            for (const std::string& n : names) {
                if (readBytes(dir + '/' + n, 0, 500, buf) &&
                    buf.find("Status: SUCCESS") != std::string::npos)
                    break;
            }
            benchmark::DoNotOptimize(buf);
        }
    }
}

// A run's clean-up in a folder of 1,000 tasks x 30 logs: its own 30 logs are
// kept, the others' 29,970 only looked past. The floor is one readdir.
struct CrowdedFolder {
    QTemporaryDir dir;
    static const CrowdedFolder& shared() {
        static const CrowdedFolder folder;
        return folder;
    }
    CrowdedFolder() {
        for (int t = 0; t < 1000; ++t)
            for (int l = 0; l < kLogs; ++l) {
                const QString name = QStringLiteral("2026-01-%1_10-00-00_Task_%2.log")
                                         .arg(l + 1, 2, 10, QLatin1Char('0'))
                                         .arg(t);
                QFile f(dir.path() + u'/' + name);
                f.open(QIODevice::WriteOnly);
            }
    }
};

void cleanup(benchmark::State& state) {
    const LogStore store(CrowdedFolder::shared().dir.path());
    for (auto _ : state)
        store.cleanup(QStringLiteral("Task_7"), kLogs);
}

void cleanupFloor(benchmark::State& state) {
    const std::string dir = CrowdedFolder::shared().dir.path().toStdString();
    for (auto _ : state) {
        int mine = 0;
        DIR* d = ::opendir(dir.c_str());
        while (const dirent* e = ::readdir(d))
            mine += std::string_view(e->d_name).ends_with("_Task_7.log");
        ::closedir(d);
        benchmark::DoNotOptimize(mine);
    }
}

} // namespace

BENCHMARK(cleanup)->Unit(benchmark::kMillisecond);
BENCHMARK(cleanupFloor)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ours, newest_success, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(floor, newest_success, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ours, never_succeeded, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(floor, never_succeeded, false)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
