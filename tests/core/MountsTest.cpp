// Volumes as Linux mounts them: real tmpfs mounts, gvfs share folders, the
// mount commands, and a file system whose every look hangs.
#include "platform/Mounts.h"
#include "support/Child.h"
#include "support/EngineFixture.h"
#include "support/HangingFolder.h"
#include "support/PrivateBus.h"

#include <QStandardPaths>
#include <QUrl>

#include <sys/mount.h>

namespace {

// A tmpfs mounted on a folder for the test's lifetime; needs root.
class TmpfsMount {
  public:
    explicit TmpfsMount(const QString& folder) : folder_(folder) {
        QDir().mkpath(folder);
        ok_ = ::mount("none", folder.toUtf8().constData(), "tmpfs", 0, "size=1m") == 0;
    }
    ~TmpfsMount() { unmount(); }
    void unmount() {
        if (ok_) ::umount2(folder_.toUtf8().constData(), MNT_DETACH);
        ok_ = false;
    }
    bool ok() const { return ok_; }

  private:
    QString folder_;
    bool ok_ = false;
};

// Sets an environment variable for the object's lifetime.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, const QString& value) : name_(name), old_(qgetenv(name)) {
        qputenv(name, value.toUtf8());
    }
    ~ScopedVariable() { qputenv(name_, old_); }

  private:
    const char* name_;
    QByteArray old_;
};

class RealVolumes : public EngineFixture {
  protected:
    // The engine as shipped: its own looks at volumes, no stand-ins.
    std::unique_ptr<Engine> shippedEngine() {
        auto e = std::make_unique<Engine>(repo.paths(), false, QStringList{}, settings());
        e->mountVolume = [this](const Engine::MountTarget& t) { mounts.append(t.url); };
        return e;
    }
    bool ran(const char* marker) const {
        return QFileInfo::exists(repo.root() + u'/' + QString::fromUtf8(marker));
    }
};

} // namespace

TEST(Mounts, PresenceOfMountPointsAndGvfsShareFolders) {
    TempRepo repo;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", (repo.root() + QStringLiteral("/run/")).toUtf8());
    const QString share =
        repo.root() + QStringLiteral("/run/gvfs/smb-share:server=nas,share=fotos");
    EXPECT_EQ(Mounts::gvfsRoot(), repo.root() + QStringLiteral("/run/gvfs"));
    EXPECT_FALSE(Mounts::isPresent(share)) << "not mounted yet";
    QDir().mkpath(share);
    EXPECT_TRUE(Mounts::isPresent(share));
    EXPECT_TRUE(Mounts::isPresent(share + u'/'));
    EXPECT_FALSE(Mounts::isPresent(share + QStringLiteral("/Unterordner")))
        << "only the share folder itself";
    EXPECT_FALSE(Mounts::isPresent(repo.root())) << "a plain folder is no volume";
    EXPECT_TRUE(Mounts::isPresent(QStringLiteral("/proc/")));
    EXPECT_EQ(Mounts::withoutTrailingSlashes(QStringLiteral("/media/nas//")), u"/media/nas");
    EXPECT_EQ(Mounts::withoutTrailingSlashes(QStringLiteral("/")), u"/");

    EXPECT_EQ(Mounts::gvfsFolder(QStringLiteral("smb://NAS/Fotos/2024")),
              Mounts::gvfsRoot() + QStringLiteral("/smb-share:server=nas,share=fotos"));
    EXPECT_EQ(Mounts::gvfsFolder(QStringLiteral("sftp://anna@host:2222/home")),
              Mounts::gvfsRoot() + QStringLiteral("/sftp:host=host,port=2222,user=anna"));
    EXPECT_TRUE(Mounts::gvfsFolder(QStringLiteral("smb://nas")).isEmpty()) << "no share";
    EXPECT_TRUE(Mounts::gvfsFolder(QStringLiteral("fstab")).isEmpty());
    EXPECT_EQ(Mounts::serverPort(QStringLiteral("sftp")), 22);
    EXPECT_EQ(Mounts::serverPort(QStringLiteral("SMB")), 445);
    EXPECT_EQ(Mounts::serverPort(QStringLiteral("afp")), 548);
    EXPECT_FALSE(Mounts::serverPort(QStringLiteral("archive")));
    EXPECT_FALSE(Mounts::serverPort(QUrl(Mounts::kFstab).scheme()));
    qputenv("XDG_RUNTIME_DIR", runtime);
}

TEST(Mounts, MountCommandsGetTheAddressAsOneArgumentWithoutAShell) {
    TempRepo repo;
    const QString calls = repo.root() + QStringLiteral("/calls");
    for (const char* tool : {"gio", "mount"})
        repo.write(QStringLiteral("bin/") + QString::fromLatin1(tool),
                   // One write per call: the two run at once.
                   QByteArray("#!/bin/bash\nline=$(printf '%s|' ") + tool +
                       " \"$@\")\nprintf '%s\\n' \"$line\" >> " + calls.toUtf8() + "\n");
    for (const char* tool : {"gio", "mount"})
        QFile::setPermissions(repo.root() + QStringLiteral("/bin/") + QString::fromLatin1(tool),
                              QFile::ReadOwner | QFile::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", (repo.root() + QStringLiteral("/bin:") + QString::fromUtf8(path)).toUtf8());
    Mounts::mount(QStringLiteral("/mnt/nas/"), QStringLiteral("smb://nas/a b;touch x"));
    Mounts::mount(QStringLiteral("/mnt/usb/"), Mounts::kFstab);
    qputenv("PATH", path);
    ASSERT_TRUE(waitUntil([&] { return TempRepo::read(calls).count('\n') == 2; }));
    const QByteArray seen = TempRepo::read(calls);
    EXPECT_TRUE(seen.contains("gio|mount|smb://nas/a b;touch x|\n")) << seen.constData();
    EXPECT_TRUE(seen.contains("mount|/mnt/usb|\n")) << seen.constData();
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("x")));
}

TEST_F(RealVolumes, AnOnMountTaskRunsWhenItsTmpfsAppears) {
    const QString folder = repo.root() + QStringLiteral("/media/usb");
    QDir().mkpath(folder);
    {
        TmpfsMount probe(repo.root() + QStringLiteral("/probe"));
        if (!probe.ok()) GTEST_SKIP() << "mounting needs root";
    }
    repo.script(QStringLiteral("copy.sh"), "touch \"$0.ran\"\n");
    writeConfig("[[task]]\nname = 'USB'\ntype = 'on_mount'\nscript = 'copy.sh'\n"
                "watch_volumes = ['" +
                folder.toUtf8() + "/']\n"); // a trailing slash must not matter
    auto e = shippedEngine();
    e->start();
    const auto usb = task(*e, "USB");
    ASSERT_TRUE(waitUntil([&] { return e->volumePresence.value().contains(folder + u'/'); }));
    EXPECT_FALSE(e->volumePresentNow(folder + u'/'));
    EXPECT_FALSE(usb->running);

    TmpfsMount mounted(folder);
    ASSERT_TRUE(mounted.ok());
    e->poll();
    ASSERT_TRUE(
        waitUntil([&] { return usb->summary.value().latestStatus == LogStatus::Success; }, 10000));
    EXPECT_TRUE(QFileInfo::exists(repo.paths().scripts() + QStringLiteral("/copy.sh.ran")));
    mounted.unmount();
    e->poll();
    ASSERT_TRUE(waitUntil([&] { return !e->volumePresentNow(folder + u'/'); }));
    e->shutdown();
}

TEST_F(RealVolumes, AShareMountedThroughGioCountsAsPresent) {
    if (QStandardPaths::findExecutable(QStringLiteral("gio")).isEmpty() ||
        !QFileInfo::exists(QStringLiteral("/usr/libexec/gvfsd-archive")) ||
        !QFileInfo::exists(QStringLiteral("/usr/libexec/gvfsd-fuse")) ||
        !QFileInfo::exists(QStringLiteral("/dev/fuse")))
        GTEST_SKIP() << "gvfs with its archive backend and FUSE is not installed";
    // gvfs's archive backend mounts a local .tar as a share: no server needed.
    repo.write(QStringLiteral("content/foto.txt"), "Urlaub\n");
    ASSERT_EQ(Child::run(QStringLiteral("tar"),
                         {QStringLiteral("-C"), repo.root() + QStringLiteral("/content"),
                          QStringLiteral("-cf"), repo.root() + QStringLiteral("/a.tar"),
                          QStringLiteral("foto.txt")}),
              0);
    const QString runtime = repo.root() + QStringLiteral("/run");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ScopedVariable runtimeDir("XDG_RUNTIME_DIR", runtime);
    PrivateBus bus; // gvfsd is started by the bus, with this runtime folder
    ASSERT_TRUE(bus.ok());
    ScopedVariable session("DBUS_SESSION_BUS_ADDRESS", bus.address);
    const QByteArray file =
        QUrl::toPercentEncoding(QStringLiteral("file://") + repo.root() + QStringLiteral("/a.tar"));
    const QString address = QStringLiteral("archive://") + QString::fromLatin1(file);
    const QString share = runtime + QStringLiteral("/gvfs/archive:host=") +
                          QString::fromLatin1(QUrl::toPercentEncoding(QString::fromLatin1(file)));
    repo.script(QStringLiteral("fotos.sh"),
                "cat \"$1\"/foto.txt 2>/dev/null || cat \"" + share.toUtf8() + "/foto.txt\"\n");
    writeConfig("[[task]]\nname = 'Fotos'\ntype = 'on_mount'\nscript = 'fotos.sh'\n"
                "watch_volumes = ['" +
                share.toUtf8() + "']\nmount_url = '" + address.toUtf8() + "'\n");
    auto e = std::make_unique<Engine>(repo.paths(), false, QStringList{}, settings());
    e->start(); // mounts through gio mount, as shipped
    const auto fotos = task(*e, "Fotos");
    ASSERT_TRUE(waitUntil(
        [&] {
            e->checkVolumes();
            return e->volumePresentNow(share);
        },
        30000))
        << "gio mount did not bring up " << share.toStdString();
    EXPECT_TRUE(Mounts::isPresent(share));
    EXPECT_FALSE(Mounts::isMountPoint(share)) << "a gvfs share shares its parent's device";
    e->poll();
    ASSERT_TRUE(waitUntil([&] { return fotos->summary.value().latestStatus == LogStatus::Success; },
                          15000));
    EXPECT_TRUE(TempRepo::read(*fotos->summary.value().latestFile).contains("Urlaub\n"));
    e->shutdown();
    ::umount2((runtime + QStringLiteral("/gvfs")).toUtf8().constData(), MNT_DETACH);
}

#ifdef SAVEWRIGHT_HANGFS
TEST_F(RealVolumes, AVolumeWhoseServerVanishedNeverHoldsUpTheProgram) {
    const QString folder = repo.root() + QStringLiteral("/mnt/nas");
    HangingFolder fs(QStringLiteral(SAVEWRIGHT_HANGFS), folder);
    if (!fs.mounted()) GTEST_SKIP() << "FUSE is not available here";
    repo.script(QStringLiteral("nas.sh"), "true\n");
    writeConfig("[[task]]\nname = 'NAS'\ntype = 'on_mount'\nscript = 'nas.sh'\n"
                "watch_volumes = ['" +
                folder.toUtf8() + "']\nmount_url = 'smb://127.0.0.1:1/x'\n");
    auto e = shippedEngine();
    // Each of these would hang for ever if it looked at the volume itself.
    e->start();
    e->poll();
    e->tick();
    e->runAll();
    e->runNow(task(*e, "NAS"), false);
    e->refreshLogs();
    // The look answers "absent" at its time limit; the start's probe fails the same way.
    ASSERT_TRUE(waitUntil([&] { return e->volumePresence.value().contains(folder); }, 8000));
    EXPECT_FALSE(e->volumePresentNow(folder));
    ASSERT_TRUE(waitUntil([&] { return !task(*e, "NAS")->probing(); }, 8000));
    EXPECT_EQ(task(*e, "NAS")->transientError.value(), u"Volume fehlt: nas");
    EXPECT_FALSE(task(*e, "NAS")->running);
    // Asking again while the first look still hangs adds no second one.
    e->poll();
    e->shutdown();
}

TEST_F(RealVolumes, ARepositoryThatStopsAnsweringIsAProblemNotAFreeze) {
    const QString folder = repo.root() + QStringLiteral("/mnt/repo");
    HangingFolder fs(QStringLiteral(SAVEWRIGHT_HANGFS), folder);
    if (!fs.mounted()) GTEST_SKIP() << "FUSE is not available here";
    writeConfig("[[task]]\nname = 'A'\ntype = 'scheduled'\nscript = 'a.sh'\n");
    repo.script(QStringLiteral("a.sh"), "true\n");
    const QString logs = repo.paths().logs();
    QDir(logs).removeRecursively();
    ASSERT_TRUE(QFile::link(folder + QStringLiteral("/logs"), logs));
    const QString problem = QStringLiteral("Repository antwortet nicht: ") + repo.paths().repo;

    // Each of these would hang for as long as the folder does if it read it itself.
    auto e = shippedEngine();
    EXPECT_TRUE(e->problems.value().contains(problem));
    e->start();
    e->tick();
    e->poll();
    e->refreshLogs();
    advance(3600);
    e->tick();
    EXPECT_TRUE(e->problems.value().contains(problem));
    EXPECT_FALSE(task(*e, "A")->running || task(*e, "A")->probing())
        << "unread logs are no sign that it never ran";
    // A start by hand goes, and hangs creating its log; it does not hold the exit up.
    e->runNow(task(*e, "A"), false);
    ASSERT_TRUE(task(*e, "A")->running);
    e->shutdown();
    EXPECT_TRUE(e->waitForRuns(15000));

    // The folder answers again (here: fails at once): the problem goes by itself.
    fs.release();
    ASSERT_TRUE(waitUntil([&] {
        e->refreshLogs();
        return !e->problems.value().contains(problem);
    }));
}
#endif
