// The panel's model at scale: tasks in one group each (3000 groups) and in five.
#include "model/ViewModel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

void panelModel(benchmark::State& state) {
    const int tasks = static_cast<int>(state.range(0));
    const int groups = static_cast<int>(state.range(1));
    QTemporaryDir dir;
    const Paths paths{dir.path() + QStringLiteral("/repo"),
                      dir.path() + QStringLiteral("/support")};
    QDir().mkpath(paths.logs());
    QDir().mkpath(paths.appSupport);
    QByteArray toml;
    for (int t = 0; t < tasks; ++t)
        toml += "[[task]]\nname = 'Task " + QByteArray::number(t) +
                "'\ntype = 'external'\nscript = 't.sh'\ngroup = 'G" +
                QByteArray::number(t % groups) + "'\n";
    QFile config(paths.configFile());
    config.open(QIODevice::WriteOnly);
    config.write(toml);
    config.close();
    Engine engine(paths, true, {},
                  std::make_unique<QSettings>(dir.path() + QStringLiteral("/seen.ini"),
                                              QSettings::IniFormat));
    for (auto _ : state)
        benchmark::DoNotOptimize(ViewModel::panel(engine, false, {}));
}

} // namespace

BENCHMARK(panelModel)
    ->ArgNames({"tasks", "groups"})
    ->Args({50, 5})
    ->Args({3000, 5})
    ->Args({3000, 3000})
    ->Unit(benchmark::kMillisecond);
