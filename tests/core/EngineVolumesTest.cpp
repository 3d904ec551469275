#include "support/EngineFixture.h"

#include "engine/VolumeListings.h"
#include "platform/Mounts.h"

#include <QTcpServer>

#include <condition_variable>

namespace {

TaskConfig mountTask(QStringList volumes, QString url, QStringList urls = {}) {
    TaskConfig t(QStringLiteral("M"), TaskType::OnMount, QStringLiteral("m.sh"));
    t.watchVolumes = std::move(volumes);
    t.mountURL = std::move(url);
    t.mountURLs = std::move(urls);
    return t;
}

bool ask(const std::function<void(Engine::Answer)>& check) {
    std::optional<bool> result;
    int answers = 0;
    std::mutex m;
    check([&](bool ok) {
        const std::lock_guard lock(m);
        result = ok;
        ++answers;
    });
    waitUntil(
        [&] {
            const std::lock_guard lock(m);
            return result.has_value();
        },
        6000);
    QThread::msleep(50);
    const std::lock_guard lock(m);
    EXPECT_EQ(answers, 1);
    return result.value_or(false);
}

using Volumes = EngineFixture;

} // namespace

TEST(VolumeChecks, MountPointsAndReachability) {
    TempRepo repo;
    EXPECT_FALSE(Mounts::isMountPoint(repo.root())) << "a plain folder";
    EXPECT_FALSE(Mounts::isMountPoint(repo.root() + QStringLiteral("/missing")));
    EXPECT_TRUE(Mounts::isMountPoint(QStringLiteral("/proc")));

    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    const QString open = QStringLiteral("smb://127.0.0.1:%1/share").arg(server.serverPort());
    EXPECT_TRUE(ask([&](Engine::Answer a) { Engine::isReachableDefault(open, 3.0, a); }));
    const quint16 port = server.serverPort();
    server.close();
    const QString closed = QStringLiteral("smb://127.0.0.1:%1/share").arg(port);
    EXPECT_FALSE(ask([&](Engine::Answer a) { Engine::isReachableDefault(closed, 3.0, a); }));
    EXPECT_FALSE(
        ask([&](Engine::Answer a) { Engine::isReachableDefault(QStringLiteral("nas"), 3.0, a); }));
    EXPECT_FALSE(ask([&](Engine::Answer a) {
        Engine::isReachableDefault(QStringLiteral("smb://h:99999/x"), 3.0, a);
    }));

    EXPECT_TRUE(ask([&](Engine::Answer a) { Engine::volumeRespondsDefault(repo.root(), 3.0, a); }));
    EXPECT_FALSE(ask([&](Engine::Answer a) {
        Engine::volumeRespondsDefault(repo.root() + QStringLiteral("/x"), 3.0, a);
    }));
}

TEST(VolumeChecks, HungCheckAnswersFalseAtItsTimeLimit) {
    TempRepo repo;
    const QString fifo = repo.root() + QStringLiteral("/fifo");
    ASSERT_EQ(::mkfifo(fifo.toUtf8().constData(), 0600), 0);
    // Listing a FIFO as a folder fails at once; a hang is simulated by a blocking open.
    QElapsedTimer timer;
    timer.start();
    // 10.255.255.1 would hang, but no traffic leaves this machine in tests: use a
    // listening socket that never accepts within the limit instead.
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    EXPECT_TRUE(ask([&](Engine::Answer a) {
        Engine::isReachableDefault(QStringLiteral("smb://localhost:%1/").arg(server.serverPort()),
                                   0.2, a);
    }));
    EXPECT_LT(timer.elapsed(), 3000);
}

TEST(VolumeChecks, AHungListingIsNotJoinedByMoreThreads) {
    std::mutex m;
    std::condition_variable released;
    bool release = false;
    std::atomic<int> listings{0};
    VolumeListings registry([&](const QString&) {
        ++listings;
        std::unique_lock lock(m);
        released.wait(lock, [&] { return release; });
        return true;
    });
    // Seven probes of a share whose listing hangs: each answers false at its
    // time limit, and only one listing runs.
    for (int i = 0; i < 7; ++i)
        EXPECT_FALSE(
            ask([&](Engine::Answer a) { registry.respond(QStringLiteral("/mnt/nas"), 0.05, a); }));
    EXPECT_EQ(listings.load(), 1);
    EXPECT_FALSE(
        ask([&](Engine::Answer a) { registry.respond(QStringLiteral("/mnt/other"), 0.05, a); }));
    EXPECT_EQ(listings.load(), 2) << "another volume has a listing of its own";
    {
        const std::lock_guard lock(m);
        release = true;
    }
    released.notify_all();
    // Once the hung listing came back (a probe may still join it), a probe lists again.
    const auto probe = [&] {
        return ask([&](Engine::Answer a) { registry.respond(QStringLiteral("/mnt/nas"), 3.0, a); });
    };
    EXPECT_TRUE(waitUntil(probe));
    const int before = listings.load();
    EXPECT_TRUE(probe());
    EXPECT_EQ(listings.load(), before + 1);
}

TEST(VolumeChecks, MountTargetsRules) {
    const QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
    const auto none = [](const QString&) { return false; };
    const QList<TaskConfig> tasks = {
        mountTask({QStringLiteral("/a"), QStringLiteral("/b")}, {},
                  {QStringLiteral("smb://nas/a")}),
        mountTask({QStringLiteral("/b"), QStringLiteral("/a")}, QStringLiteral("smb://other/x")),
        mountTask({QStringLiteral("/c")}, {}),
    };
    EXPECT_EQ(
        Engine::mountTargets(tasks, none, {}, now, 30),
        (QList<Engine::MountTarget>{{QStringLiteral("/a"), QStringLiteral("smb://nas/a")},
                                    {QStringLiteral("/b"), QStringLiteral("smb://other/x")}}));
    const QHash<QString, QDateTime> tenMinutesAgo{{QStringLiteral("/a"), now.addSecs(-600)}};
    EXPECT_EQ(Engine::mountTargets(tasks, none, tenMinutesAgo, now, 30).size(), 1);
    const QHash<QString, QDateTime> halfHourAgo{{QStringLiteral("/a"), now.addSecs(-1800)}};
    EXPECT_EQ(Engine::mountTargets(tasks, none, halfHourAgo, now, 30).size(), 2);
    EXPECT_TRUE(Engine::mountTargets(
                    tasks, [](const QString&) { return true; }, {}, now, 30)
                    .isEmpty());
}

TEST_F(Volumes, MountJobsOncePerVolumeAndRetryPause) {
    writeConfig("[general]\nmount_retry_minutes = 30\n"
                "[[task]]\nname = 'M'\ntype = 'on_mount'\nscript = 'm.sh'\n"
                "watch_volumes = ['/mnt/nas']\nmount_url = 'smb://nas/share'\n");
    auto e = makeEngine();
    Engine::Answer pending;
    e->isReachable = [&](const QString& url, Engine::Answer answer) {
        reachChecks.append(url);
        pending = std::move(answer);
    };
    e->tryMountVolumes();
    e->tryMountVolumes();
    EXPECT_EQ(reachChecks.size(), 1) << "a volume in flight gets no second job";
    pending(false);
    ASSERT_TRUE(waitUntil([&] { return e->mountInFlight.value().isEmpty(); }));
    EXPECT_TRUE(mounts.isEmpty());
    e->tryMountVolumes();
    EXPECT_EQ(reachChecks.size(), 1) << "unreachable: wait out the retry pause";
    advance(30 * 60);
    e->refreshLogs();
    e->tryMountVolumes();
    ASSERT_EQ(reachChecks.size(), 2);
    pending(true);
    ASSERT_TRUE(waitUntil([&] { return !mounts.isEmpty(); }));
    EXPECT_EQ(mounts, QStringList{QStringLiteral("smb://nas/share")});
}

TEST_F(Volumes, AVolumeListWrittenAsTextHoldsTheTaskUntilFixed) {
    repo.script(QStringLiteral("m.sh"), "true\n");
    writeConfig("[[task]]\nname = 'M'\ntype = 'on_mount'\nscript = 'm.sh'\n"
                "watch_volumes = '/mnt/nas'\nintervall_hours = 1\n");
    auto e = makeEngine();
    e->start();
    const auto m = task(*e, "M");
    EXPECT_EQ(e->problems.value(),
              (QStringList{QStringLiteral("config.toml Zeile 5: Task „M“: ") +
                               AppConfig::volumesNotAList(),
                           QStringLiteral("config.toml Zeile 6: Task „M“: unbekannter Schlüssel "
                                          "„intervall_hours“")}));
    e->poll();
    e->runNow(m, false);
    e->runAll();
    QCoreApplication::processEvents();
    EXPECT_FALSE(m->running || m->probing() || m->waiting()) << "would run with the NAS away";
    EXPECT_EQ(m->status(clockNow), TaskStatus::Error);
    EXPECT_EQ(m->errorText(), AppConfig::volumesNotAList());

    writeConfig("[[task]]\nname = 'M'\ntype = 'on_mount'\nscript = 'm.sh'\n"
                "watch_volumes = ['/mnt/nas']\n");
    e->reloadConfig();
    EXPECT_TRUE(e->problems.value().isEmpty());
    mounted = {QStringLiteral("/mnt/nas")};
    e->poll();
    ASSERT_TRUE(
        waitUntil([&] { return m->summary.value().latestStatus == LogStatus::Success; }, 10000));
    e->shutdown();
}
