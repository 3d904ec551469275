// Until the tray application exists: resolve the roots, create the engine (which
// loads config.toml once and prints its status line) and exit.
#include "config/Paths.h"
#include "engine/Engine.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QCoreApplication app(argc, argv);
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));
    const Paths paths = Paths::resolve(arguments, arguments.value(0));
    Engine engine(paths, CommandLine::has(arguments, QStringLiteral("--observe")));
    return 0;
}
