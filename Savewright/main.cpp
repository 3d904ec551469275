// Until the tray application exists: resolve the roots, load config.toml once
// and print the engine's status line.
#include "config/AppConfig.h"
#include "config/Paths.h"

#include <QCoreApplication>
#include <QDateTime>

#include <cstdio>

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QCoreApplication app(argc, argv);
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));
    const Paths paths = Paths::resolve(arguments, arguments.value(0));
    try {
        const AppConfig config = AppConfig::load(paths.configFile());
        const QString stamp =
            QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss +0000"));
        std::printf("config.toml geladen: %lld Tasks (%s)\n",
                    static_cast<long long>(config.tasks.size()), qPrintable(stamp));
    } catch (const ConfigError& e) {
        std::printf("config.toml nicht lesbar: %s\n", e.description().toUtf8().constData());
    }
    return 0;
}
