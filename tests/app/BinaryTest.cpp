// The built program itself, started as a user would.
#include "platform/ProcessTable.h"
#include "support/EventLoop.h"
#include "support/HangingFolder.h"
#include "support/ProgramEnvironment.h"
#include "support/TempRepo.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>

#ifndef SAVEWRIGHT_BINARY
#error "SAVEWRIGHT_BINARY must name the built program"
#endif

namespace {

QString binary() {
    return QStringLiteral(SAVEWRIGHT_BINARY);
}

QStringList roots(const TempRepo& repo) {
    return {QStringLiteral("--repo"), repo.paths().repo, QStringLiteral("--support"),
            repo.paths().appSupport};
}

int runToEnd(const QStringList& arguments, QByteArray* out = nullptr) {
    QProcess p;
    p.setProcessEnvironment(programEnvironment());
    p.start(binary(), arguments);
    p.waitForFinished(30000);
    if (out) *out = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

} // namespace

TEST(Binary, MirrorScriptPassesItsExitStatusOn) {
    TempRepo repo;
    repo.script(QStringLiteral("run_spiegel.sh"), "echo mirrored\nexit 7\n");
    QByteArray out;
    EXPECT_EQ(
        runToEnd({QStringLiteral("--run-spiegel"), QStringLiteral("--repo"), repo.paths().repo},
                 &out),
        7);
    EXPECT_EQ(out, "mirrored\n");
    TempRepo empty;
    EXPECT_EQ(
        runToEnd({QStringLiteral("--repo"), empty.paths().repo, QStringLiteral("--run-spiegel")}),
        127);
}

TEST(Binary, StatusLineAndSnapshotWithoutDisplay) {
    TempRepo repo;
    repo.write(QStringLiteral("support/config.toml"), "[[task]]\nname = 'A'\n");
    QByteArray out;
    QStringList args = roots(repo);
    args << QStringLiteral("--snapshot") << repo.root() + QStringLiteral("/s.png");
    EXPECT_EQ(runToEnd(args, &out), 0);
    EXPECT_TRUE(out.startsWith("config.toml nicht lesbar: config.toml Zeile 0: Task 1: name, type "
                               "und script sind Pflicht\n"))
        << out.constData();
    EXPECT_TRUE(QFileInfo::exists(repo.root() + QStringLiteral("/s.png")));
}

TEST(Binary, WaitThatIsNotWhollyAFiniteNumberRendersAtOnce) {
    TempRepo repo;
    for (const char* wait : {"nan", "inf", " 2", "2 ", "abc", "1e999"}) {
        const QString target = repo.root() + QStringLiteral("/w.png");
        QFile::remove(target);
        QStringList args = roots(repo);
        args << QStringLiteral("--snapshot") << target << QStringLiteral("--wait")
             << QString::fromLatin1(wait);
        EXPECT_EQ(runToEnd(args), 0) << wait;
        EXPECT_TRUE(QFileInfo::exists(target)) << wait;
    }
}

TEST(Binary, SigtermDuringARunEndsCleanly) {
    TempRepo repo;
    repo.write(QStringLiteral("support/config.toml"),
               "[[task]]\nname = 'Long'\ntype = 'scheduled'\nscript = 'long.sh'\n");
    repo.script(QStringLiteral("long.sh"), "sleep 300 &\necho $! > \"$PWD/../child\"\nwait\n");
    QProcess app;
    app.setProcessEnvironment(programEnvironment());
    app.start(binary(), roots(repo));
    const QString childFile = repo.root() + QStringLiteral("/child");
    ASSERT_TRUE(waitUntil([&] { return !TempRepo::read(childFile).trimmed().isEmpty(); }, 10000));
    const pid_t child = TempRepo::read(childFile).trimmed().toInt();
    ::kill(static_cast<pid_t>(app.processId()), SIGTERM);
    ASSERT_TRUE(app.waitForFinished(10000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
    EXPECT_TRUE(app.readAllStandardOutput().contains("Beenden: 1 laufende(n) Task(s) abbrechen\n"));
    const auto entry = ProcessTable::entry(child);
    EXPECT_TRUE(!entry || entry->zombie()) << "the task's process tree is gone";
    const QStringList logs = QDir(repo.paths().logs()).entryList(QDir::Files);
    ASSERT_EQ(logs.size(), 1);
    const QByteArray log = TempRepo::read(repo.paths().logs() + u'/' + logs[0]);
    EXPECT_TRUE(
        log.contains("\n--- Abgebrochen: Savewright beendet (Neustart oder Ausschalten) ---\n"))
        << log.constData();
    EXPECT_TRUE(log.contains("Status: FAILED"));
    EXPECT_TRUE(log.contains("--- Finished: "));
}

#ifdef SAVEWRIGHT_HANGFS
TEST(Binary, SigtermEndsTheProgramOnARepositoryThatStoppedAnswering) {
    TempRepo repo;
    const QString folder = repo.root() + QStringLiteral("/mnt");
    HangingFolder fs(QStringLiteral(SAVEWRIGHT_HANGFS), folder);
    if (!fs.mounted()) GTEST_SKIP() << "FUSE is not available here";
    repo.write(QStringLiteral("support/config.toml"),
               "[[task]]\nname = 'A'\ntype = 'scheduled'\nscript = 'a.sh'\n");
    repo.script(QStringLiteral("a.sh"), "true\n");
    QDir(repo.paths().logs()).removeRecursively();
    ASSERT_TRUE(QFile::link(folder + QStringLiteral("/logs"), repo.paths().logs()));
    QProcess app;
    app.setProcessEnvironment(programEnvironment());
    app.start(binary(), roots(repo));
    // Up, and the refresh given up on.
    QByteArray out;
    ASSERT_TRUE(waitUntil(
        [&] {
            app.waitForReadyRead(50);
            out += app.readAllStandardOutput();
            return out.contains("config.toml geladen");
        },
        10000));
    waitUntil([] { return false; }, 4000);
    const auto pid = static_cast<pid_t>(app.processId());
    ::kill(pid, SIGTERM);
    // The program has ended once its main thread has; threads still waiting in the
    // kernel for the folder keep the process from being reaped until it answers.
    EXPECT_TRUE(waitUntil(
        [&] {
            const auto entry = ProcessTable::entry(pid);
            return !entry || entry->zombie();
        },
        8000))
        << "a run stuck in the log folder held the exit up";
    fs.release();
    ASSERT_TRUE(app.waitForFinished(10000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
}
#endif
