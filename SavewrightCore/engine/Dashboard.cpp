// The dashboard page, made on request by the generator in the script repository.
#include "Engine.h"

#include "base/Language.h"
#include "base/MainThread.h"
#include "platform/Detached.h"
#include "platform/PosixFile.h"
#include "platform/Spawn.h"

#include <unistd.h>

namespace {
constexpr qsizetype kKeptError = 64 * 1024;
} // namespace

void Engine::generateDashboard(DashboardDone done) const {
    const QString python = paths.appSupport + QStringLiteral("/venv/bin/python");
    const QString page = paths.logs() + QStringLiteral("/Dashboard.html");
    Spawn::Options o;
    o.program = PosixFile::encodePath(python);
    o.arguments = {PosixFile::encodePath(paths.repo +
                                         QStringLiteral("/Python/dashboard/generate_dashboard.py")),
                   "--logs",
                   PosixFile::encodePath(paths.logs()),
                   "--config",
                   PosixFile::encodePath(paths.configFile()),
                   "--out",
                   PosixFile::encodePath(page)};
    o.stdinFd = STDIN_FILENO;
    const auto work = [o, python, page, done]() mutable {
        std::optional<QString> error;
        const Spawn::Finished run = Spawn::runToEnd(o, kKeptError);
        if (!run.piped) {
            error = Language::translate("Dashboard", "Fehler");
        } else if (!run.started) {
            error = Language::translate("Dashboard", "Python nicht gefunden: ") + python;
        } else if (run.status != 0) {
            // The error is the generator's last line.
            const QList<QByteArray> lines = run.errorTail.split('\n');
            error = Language::translate("Dashboard", "Fehler");
            for (auto it = lines.crbegin(); it != lines.crend(); ++it)
                if (!it->isEmpty()) {
                    error = QString::fromUtf8(*it);
                    break;
                }
        }
        postToMain([done = std::move(done), page, error] {
            if (error)
                done(std::nullopt, error);
            else
                done(page, std::nullopt);
        });
    };
    if (!startDetached(work))
        postToMain([done] { done(std::nullopt, Language::translate("Dashboard", "Fehler")); });
}
