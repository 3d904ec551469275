// The program killed with SIGKILL at random moments: every log stays a finished
// log or a RUNNING prefix of one, nothing of the task keeps running, and the
// next normal run leaves no temp file behind.
#include "platform/ProcessTable.h"
#include "support/EventLoop.h"
#include "support/ProgramEnvironment.h"
#include "support/TempRepo.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <random>

namespace {

constexpr int kLines = 60000;

QProcess* start(const TempRepo& repo) {
    auto* p = new QProcess;
    p->setProcessEnvironment(programEnvironment());
    p->start(QStringLiteral(SAVEWRIGHT_BINARY),
             {QStringLiteral("--repo"), repo.paths().repo, QStringLiteral("--support"),
              repo.paths().appSupport});
    p->waitForStarted();
    return p;
}

// Header, then "line 1", "line 2", … with the last one possibly cut.
bool validBody(const QByteArray& body, bool complete) {
    const QList<QByteArray> lines = body.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray want = "line " + QByteArray::number(i + 1);
        const bool last = i == lines.size() - 1;
        if (last ? !want.startsWith(lines[i]) : lines[i] != want) return false;
    }
    return !complete || lines.size() == kLines + 1;
}

QString check(const QByteArray& log) {
    const QByteArray header = "Ferrymat Log \xe2\x80\x94 Chatty\nStarted: ";
    if (!log.startsWith(header)) return QStringLiteral("header");
    const qsizetype output = log.indexOf("\n\n--- Output ---\n");
    if (output < 0) return QStringLiteral("no output line");
    QByteArray head = log.left(output);
    while (head.endsWith('\n')) // FAILED is one letter short: its line keeps the length
        head.chop(1);
    QByteArray body = log.mid(output + 17);
    if (head.endsWith("\nStatus: RUNNING")) {
        // Killed between the trailer and the status flip: the whole run, still RUNNING.
        const qsizetype trailer = body.indexOf("\n--- Finished: ");
        if (trailer >= 0) body.truncate(trailer);
        return validBody(body, false) ? QString() : QStringLiteral("running body");
    }
    if (!head.endsWith("\nStatus: FAILED")) return QStringLiteral("status");
    const qsizetype trailer = body.lastIndexOf("\n--- Finished: ");
    if (trailer < 0 || !body.endsWith(" ---\n")) return QStringLiteral("trailer");
    body.truncate(trailer);
    const qsizetype abort = body.indexOf("\n--- Abgebrochen: ");
    if (abort >= 0)
        return validBody(body.left(abort), false) ? QString() : QStringLiteral("aborted body");
    return validBody(body, true) ? QString() : QStringLiteral("complete body");
}

} // namespace

TEST(Faults, SigkillDuringFiftyRunsLosesNoLog) {
    TempRepo repo;
    repo.write(
        QStringLiteral("support/config.toml"),
        "[[task]]\nname = 'Chatty'\ntype = 'scheduled'\nscript = 'chatty.sh'\nmax_logs = 1000\n");
    repo.script(QStringLiteral("chatty.sh"),
                "echo $$ >> \"$PWD/../pids\"\nfor ((i = 1; i <= " + QByteArray::number(kLines) +
                    "; i++)); do echo \"line $i\"; done\nexit 1\n");
    std::mt19937 rng(11);
    for (int round = 0; round < 50; ++round) {
        std::unique_ptr<QProcess> app(start(repo));
        QThread::msleep(80 + rng() % 500);
        ::kill(static_cast<pid_t>(app->processId()), SIGKILL);
        app->waitForFinished(5000);
    }
    // A script whose reader is gone dies on its next write.
    QThread::msleep(500);
    for (const QByteArray& pid :
         TempRepo::read(repo.root() + QStringLiteral("/pids")).split('\n')) {
        if (pid.isEmpty()) continue;
        const auto e = ProcessTable::entry(pid.toInt());
        EXPECT_TRUE(!e || e->zombie() || !ProcessTable::commandLine(e->pid).contains(u"chatty.sh"))
            << pid.constData();
    }
    // One normal run, stopped as the session ends.
    std::unique_ptr<QProcess> app(start(repo));
    const QString logs = repo.paths().logs();
    const qsizetype before = QDir(logs).entryList(QDir::Files).size();
    ASSERT_TRUE(
        waitUntil([&] { return QDir(logs).entryList(QDir::Files).size() > before; }, 10000));
    QThread::msleep(3000);
    ::kill(static_cast<pid_t>(app->processId()), SIGTERM);
    ASSERT_TRUE(app->waitForFinished(15000));
    EXPECT_EQ(app->exitCode(), 0);

    const QStringList files = QDir(logs).entryList(QDir::Files | QDir::Hidden);
    EXPECT_GE(files.size(), 10) << "most rounds start the task before the kill";
    for (const QString& f : files) {
        EXPECT_FALSE(f.startsWith(u'.')) << "temp file left: " << qPrintable(f);
        if (f.startsWith(u'.')) continue;
        const QString problem = check(TempRepo::read(logs + u'/' + f));
        EXPECT_TRUE(problem.isEmpty()) << qPrintable(f) << ": " << qPrintable(problem);
    }
}

TEST(Faults, ScriptsDieWithTheProgram) {
    TempRepo repo;
    repo.write(QStringLiteral("support/config.toml"),
               "[[task]]\nname = 'Quiet'\ntype = 'scheduled'\nscript = 'quiet.sh'\n");
    // Quiet: no write ends it through a broken pipe; one child left its session.
    repo.script(QStringLiteral("quiet.sh"), "sleep 300 &\necho $! >> \"$PWD/../pids\"\n"
                                            "setsid sleep 301 &\necho $! >> \"$PWD/../pids\"\n"
                                            "echo $$ >> \"$PWD/../pids\"\nwait\n");
    std::unique_ptr<QProcess> app(start(repo));
    const QString pidFile = repo.root() + QStringLiteral("/pids");
    ASSERT_TRUE(waitUntil([&] { return TempRepo::read(pidFile).count('\n') == 3; }, 10000));
    ::kill(static_cast<pid_t>(app->processId()), SIGKILL);
    app->waitForFinished(5000);
    QList<pid_t> pids;
    for (const QByteArray& pid : TempRepo::read(pidFile).split('\n'))
        if (!pid.isEmpty()) pids.append(pid.toInt());
    const auto alive = [&] {
        return std::any_of(pids.cbegin(), pids.cend(), [](pid_t p) {
            const auto e = ProcessTable::entry(p);
            return e && !e->zombie();
        });
    };
    EXPECT_TRUE(waitUntil([&] { return !alive(); }, 12000)) << "the run outlived the program";
    for (pid_t p : pids)
        ::kill(p, SIGKILL);
}
