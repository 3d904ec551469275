#pragma once
// An engine over a temp repository, with a hand-driven clock and no real volumes.

#include "EventLoop.h"
#include "TempRepo.h"
#include "base/MainThread.h"
#include "engine/Engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include <sys/stat.h>
#include <utime.h>

class EngineFixture : public ::testing::Test {
  protected:
    void writeConfig(const QByteArray& toml) {
        const QString path = repo.write(QStringLiteral("support/config.toml"), toml);
        // A distinct modification time per write, however fast the test is.
        static qint64 stamp = 1'700'000'000;
        utimbuf times{stamp, stamp};
        ++stamp;
        ::utime(path.toUtf8().constData(), &times);
    }
    std::unique_ptr<Engine> makeEngine(bool observeOnly = false, QStringList extra = {},
                                       std::optional<Paths> paths = std::nullopt) {
        // The clock is read by runs on their own threads too.
        auto e = std::make_unique<Engine>(
            paths.value_or(repo.paths()), observeOnly, extra, settings(),
            [this] { return Clock::time_point(Clock::duration(clockTicks.load())); });
        e->steadyMs = [this] { return steadyMs.load(); };
        e->volumePresent = [this](const QString& v, Engine::Answer answer) {
            answer(mounted.contains(v));
        };
        e->volumeResponds = [this](const QString& v, Engine::Answer answer) {
            probes.append(v);
            answer(mounted.contains(v));
        };
        e->isReachable = [this](const QString& url, Engine::Answer answer) {
            reachChecks.append(url);
            answer(reachable);
        };
        e->mountVolume = [this](const Engine::MountTarget& t) { mounts.append(t.url); };
        if (holdingRuns) holdRuns(*e);
        e->checkVolumes();
        e->refreshLogs();
        return e;
    }
    std::unique_ptr<QSettings> settings() const {
        return std::make_unique<QSettings>(repo.root() + QStringLiteral("/seen.ini"),
                                           QSettings::IniFormat);
    }
    static std::shared_ptr<TaskState> task(Engine& e, const char* name) {
        for (const auto& t : e.tasks.value())
            if (t->id == QString::fromUtf8(name)) return t;
        return nullptr;
    }
    // A log of the given status whose file name says the given local start.
    // "hold.sh": runs until release().
    void holdScript() {
        repo.script(QStringLiteral("hold.sh"),
                    "while [ ! -e \"$PWD/../release\" ]; do sleep 0.05; done\n");
    }
    void release() { repo.write(QStringLiteral("release"), "x"); }
    QString writeLog(const char* safeName, QDateTime start, const char* status) {
        const QString name =
            LogStore::fileName(LogTime::fromDateTime(start), QString::fromUtf8(safeName));
        return repo.write(
            QStringLiteral("repo/logs/") + name,
            QByteArray("Ferrymat Log \xe2\x80\x94 x\nStarted: x\nScript: x\nStatus: ") + status +
                "\n\n--- Output ---\n");
    }
    static void setModified(const QString& file, const QDateTime& when) {
        const time_t t = static_cast<time_t>(when.toSecsSinceEpoch());
        utimbuf times{t, t};
        ::utime(file.toUtf8().constData(), &times);
    }
    // Delivers what was posted to the main thread and what that posted in
    // turn (a probe asks its volumes one after another), without waiting.
    static void deliverPosted() {
        for (int depth = 0; depth < 10; ++depth) {
            runPostedToMain();
            QCoreApplication::sendPostedEvents();
        }
    }
    // Runs the engine starts wait here, in order, until a test ends them.
    void holdRuns(Engine& e) {
        e.startRun = [this](const QString& task, Engine::RunWork run, Engine::RunEnd end) {
            heldRuns.append({task, std::move(run), std::move(end)});
            return true;
        };
    }
    // Ends the task's run: its oldest held one here and now, its script run on
    // this thread; a real one when it ends.
    bool finished(Engine& e, const char* name) {
        deliverPosted(); // answers of volumes already given
        const auto held = std::find_if(heldRuns.begin(), heldRuns.end(), [&](const HeldRun& h) {
            return h.task == QString::fromUtf8(name);
        });
        if (held != heldRuns.end()) {
            HeldRun run = std::move(*held);
            heldRuns.erase(held);
            run.end(run.run());
        } else if (!waitUntil([&] { return !task(e, name)->running; })) {
            return false;
        }
        return !task(e, name)->running;
    }

    // The machine awake: both clocks move.
    void advance(int seconds) {
        steadyMs += seconds * 1000LL;
        moveWallClock(seconds);
    }
    // Only the wall clock: the machine slept, or the clock was set.
    void moveWallClock(int seconds) {
        clockNow = clockNow.addSecs(seconds);
        clockTicks = LogTime::fromDateTime(clockNow).time_since_epoch().count();
    }

    struct HeldRun {
        QString task;
        Engine::RunWork run;
        Engine::RunEnd end;
    };
    QList<HeldRun> heldRuns;
    // Whether engines made from now on hold their runs (see holdRuns).
    bool holdingRuns = false;
    TempRepo repo;
    // A fixed day, so that no test depends on when it runs.
    QDateTime clockNow = QDateTime(QDate(2026, 6, 15), QTime(10, 0), Qt::UTC);
    std::atomic<Clock::rep> clockTicks{LogTime::fromDateTime(clockNow).time_since_epoch().count()};
    std::atomic<qint64> steadyMs{0};
    QSet<QString> mounted;
    bool reachable = false;
    QStringList probes, reachChecks, mounts;
};
