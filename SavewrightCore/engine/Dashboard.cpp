// The dashboard page, made on request by the generator in the script repository.
#include "Engine.h"

#include "MainThread.h"
#include "platform/Detached.h"
#include "platform/PosixFile.h"
#include "platform/Spawn.h"

#include <fcntl.h>
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
        int err[2];
        std::optional<QString> error;
        if (::pipe2(err, O_CLOEXEC) != 0) {
            error = QStringLiteral("Fehler");
        } else {
            o.stderrFd = err[1];
            const Spawn::Started started = Spawn::start(o);
            ::close(err[1]);
            QByteArray captured;
            char buffer[4096];
            for (ssize_t n; (n = ::read(err[0], buffer, sizeof buffer)) != 0;) {
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) break;
                // The error is the last line: keep the tail, bounded.
                captured.append(buffer, n);
                if (captured.size() > 2 * kKeptError)
                    captured.remove(0, captured.size() - kKeptError);
            }
            ::close(err[0]);
            if (!started.pid) {
                error = QStringLiteral("Python nicht gefunden: ") + python;
            } else if (Spawn::reap(started.pid) != 0) {
                const QList<QByteArray> lines = captured.split('\n');
                error = QStringLiteral("Fehler");
                for (auto it = lines.crbegin(); it != lines.crend(); ++it)
                    if (!it->isEmpty()) {
                        error = QString::fromUtf8(*it);
                        break;
                    }
            }
        }
        postToMain([done = std::move(done), page, error] {
            if (error)
                done(std::nullopt, error);
            else
                done(page, std::nullopt);
        });
    };
    if (!startDetached(work)) postToMain([done] { done(std::nullopt, QStringLiteral("Fehler")); });
}
