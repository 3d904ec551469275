#include "execution/TaskRunner.h"
#include "execution/OutputPump.h"
#include "platform/PosixFile.h"
#include "platform/ProcessTable.h"
#include "support/Child.h"
#include "support/TempRepo.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <mutex>
#include <random>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

class Runner : public ::testing::Test {
  protected:
    TaskConfig task(const char* script, const char* name = "Demo Task") {
        return TaskConfig(QString::fromUtf8(name), TaskType::Scheduled, QString::fromUtf8(script));
    }
    std::shared_ptr<TaskRunner> runner(const TaskConfig& t, bool dryRun = false) {
        return std::make_shared<TaskRunner>(t, repo.paths(), dryRun, [this](int p) {
            const std::lock_guard lock(mutex);
            progress.append(p);
        });
    }
    QStringList logFiles() const {
        return QDir(repo.paths().logs()).entryList(QDir::Files | QDir::Hidden);
    }
    QByteArray onlyLog() const {
        const QStringList files = logFiles();
        return files.size() == 1 ? TempRepo::read(repo.paths().logs() + u'/' + files[0])
                                 : QByteArray();
    }
    QString path(const char* relative) const {
        return repo.root() + u'/' + QString::fromUtf8(relative);
    }
    bool waitFor(const QString& file, std::chrono::milliseconds limit = 5000ms) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!QFileInfo::exists(file) && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(20ms);
        return QFileInfo::exists(file);
    }
    QList<pid_t> pidsIn(const QString& file) {
        QList<pid_t> pids;
        for (const QByteArray& line : TempRepo::read(file).split('\n'))
            if (!line.trimmed().isEmpty()) pids.append(line.trimmed().toInt());
        return pids;
    }
    template <typename F>
    static bool waitUntilTrue(F done, std::chrono::milliseconds limit = 5000ms) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(20ms);
        return done();
    }
    static bool exists(pid_t pid) {
        const auto e = ProcessTable::entry(pid);
        return e && !e->zombie();
    }
    // Whether every process is gone by `deadline` (a SIGKILL takes a moment to land).
    static bool goneBy(const QList<pid_t>& pids, std::chrono::steady_clock::time_point deadline) {
        while (std::any_of(pids.cbegin(), pids.cend(), exists)) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(10ms);
        }
        return true;
    }

    QList<pid_t> startStubbornTree(std::shared_ptr<TaskRunner>& r,
                                   std::future<TaskRunner::Result>& result);

    TempRepo repo;
    std::mutex mutex;
    QList<int> progress;
};

} // namespace

TEST_F(Runner, QuietSuccessAndExitCodes) {
    repo.script(QStringLiteral("ok.sh"), "exit 0\n");
    const TaskRunner::Result ok = runner(task("ok.sh"))->run(Clock::now());
    EXPECT_TRUE(ok.success);
    EXPECT_TRUE(ok.output.isEmpty());
    EXPECT_FALSE(ok.error);
    const QByteArray log = onlyLog();
    EXPECT_TRUE(log.contains("Status: SUCCESS\n\n--- Output ---\n\n--- Finished: "))
        << log.constData();
    EXPECT_TRUE(QFileInfo(repo.paths().logs() + u'/' + logFiles()[0])
                    .fileName()
                    .endsWith(u"_Demo_Task.log"));

    repo.script(QStringLiteral("three.sh"), "echo failing\nexit 3\n");
    const TaskRunner::Result three = runner(task("three.sh", "Three"))->run(Clock::now());
    EXPECT_FALSE(three.success);
    EXPECT_EQ(three.error, QStringLiteral("Script exited with code 3"));
    EXPECT_EQ(three.output, u"failing\n");

    repo.script(QStringLiteral("killed.sh"), "kill -9 $$\n");
    EXPECT_EQ(runner(task("killed.sh", "K"))->run(Clock::now()).error,
              QStringLiteral("Script exited with code 9"));
}

TEST_F(Runner, TheLogOfTheRunThatEndedSurvivesItsCleanup) {
    // Flown west: the earlier runs were named six hours ahead of this one.
    const auto now = Clock::now();
    for (int i = 1; i <= 3; ++i)
        repo.write(
            QStringLiteral("repo/logs/") +
                LogStore::fileName(now + std::chrono::hours(6 + i), QStringLiteral("Demo_Task")),
            "x");
    repo.script(QStringLiteral("ok.sh"), "echo done\n");
    TaskConfig t = task("ok.sh");
    t.maxLogs = 2;
    EXPECT_TRUE(runner(t)->run(now).success);
    const QString own = LogStore::fileName(now, QStringLiteral("Demo_Task"));
    EXPECT_TRUE(logFiles().contains(own)) << logFiles().join(u' ').toStdString();
    EXPECT_EQ(logFiles().size(), 2);
}

TEST_F(Runner, ScriptContractEnvironmentFolderAndStatistics) {
    repo.script(QStringLiteral("env.sh"),
                "echo \"py=$PYTHONUNBUFFERED dir=$(pwd)\"\n"
                "if read -r line; then echo got-input; else echo no-input; fi\n"
                "echo to-stderr >&2\n"
                "echo 'Number of files: 3 (reg: 3)'\necho 'Total bytes sent:'\necho '  99'\n");
    const TaskRunner::Result r = runner(task("env.sh"))->run(Clock::now());
    EXPECT_TRUE(r.success);
    EXPECT_TRUE(r.output.contains(QStringLiteral("py=1 dir=") + repo.paths().repo + u'\n'));
    EXPECT_TRUE(r.output.contains(u"no-input\nto-stderr\n"));
    EXPECT_TRUE(onlyLog().endsWith("\n--- Stats ---\nFiles: 3 (reg: 3)\nBytes sent: 99\n"))
        << onlyLog().constData();
}

TEST_F(Runner, ProgressFromRedrawnCountersAndSplitLines) {
    repo.script(QStringLiteral("p.sh"),
                "printf ' 10%%\\r'; sleep 0.2; printf ' 20%%\\r'; sleep 0.2\n"
                "printf 'x to-check=25'; sleep 0.2; printf '0/1000)\\n'\n");
    EXPECT_TRUE(runner(task("p.sh"))->run(Clock::now()).success);
    const std::lock_guard lock(mutex);
    EXPECT_TRUE(progress.contains(10));
    EXPECT_TRUE(progress.contains(20));
    EXPECT_EQ(progress.last(), 75);
    EXPECT_FALSE(progress.contains(25));
}

TEST_F(Runner, CharacterSplitBetweenReadsStaysWhole) {
    repo.script(QStringLiteral("u.sh"), "printf 'caf\\xc3'; sleep 0.3; printf '\\xa9\\n'\n");
    const TaskRunner::Result r = runner(task("u.sh"))->run(Clock::now());
    EXPECT_EQ(r.output, u"café\n");
    EXPECT_TRUE(onlyLog().contains("caf\xc3\xa9\n"));
    EXPECT_TRUE(onlyLog().contains("Status: SUCCESS"));
}

TEST_F(Runner, CancelBeforeLaunchNeverStartsTheScript) {
    repo.script(QStringLiteral("touch.sh"), "touch \"$0.ran\"\n");
    auto r = runner(task("touch.sh"));
    r->cancel(false, QStringLiteral("von Hand gestoppt"));
    const TaskRunner::Result result = r->run(Clock::now());
    EXPECT_EQ(result.error, QStringLiteral("Abgebrochen: von Hand gestoppt"));
    EXPECT_TRUE(result.cancelled) << "a stop, not a failure";
    EXPECT_FALSE(QFileInfo::exists(repo.paths().scripts() + QStringLiteral("/touch.sh.ran")));
    // The log reads as any stopped run's: the abort marker, no error block.
    EXPECT_FALSE(onlyLog().contains("--- ERROR ---")) << onlyLog().constData();
    EXPECT_TRUE(onlyLog().contains("\n--- Abgebrochen: von Hand gestoppt ---\n"));
    EXPECT_TRUE(LogStore::wasAborted(repo.paths().logs() + u'/' + logFiles().value(0)));
}

TEST_F(Runner, OneRunOfATaskAtATimeAcrossCopies) {
    repo.script(QStringLiteral("touch.sh"), "touch \"$0.ran\"\n");
    QDir().mkpath(repo.paths().logs() + QStringLiteral("/.locks"));
    // What another copy's run of the task holds while it lasts.
    PosixFile::Lock other =
        PosixFile::tryLock(repo.paths().logs() + QStringLiteral("/.locks/Demo_Task.lock"));
    ASSERT_TRUE(other.fd);
    const TaskRunner::Result held = runner(task("touch.sh"))->run(Clock::now());
    EXPECT_TRUE(held.heldElsewhere);
    EXPECT_FALSE(held.success);
    EXPECT_FALSE(QFileInfo::exists(repo.paths().scripts() + QStringLiteral("/touch.sh.ran")));
    EXPECT_TRUE(logFiles().isEmpty()) << "no log of a run not run";
    // Let go (as when that copy ends or dies): the next run runs.
    other.fd.reset();
    EXPECT_TRUE(runner(task("touch.sh"))->run(Clock::now()).success);
    EXPECT_TRUE(QFileInfo::exists(repo.paths().scripts() + QStringLiteral("/touch.sh.ran")));
}

TEST_F(Runner, DescendantHoldingThePipeKeepsTheRunGoing) {
    repo.script(QStringLiteral("bg.sh"), "(sleep 0.8; echo late) &\necho early\n");
    const auto begin = std::chrono::steady_clock::now();
    const TaskRunner::Result r = runner(task("bg.sh"))->run(Clock::now());
    EXPECT_GE(std::chrono::steady_clock::now() - begin, 700ms);
    EXPECT_EQ(r.output, u"early\nlate\n");
}

TEST_F(Runner, DryRunRewritesRsyncAndLeavesNoLog) {
    repo.script(QStringLiteral("dry.sh"),
                "rsync() { echo \"ARGS: $*\"; }\n# rsync in a comment\nrsync -a src dst\n"
                "rsync\t-z tab\nexit 4\n");
    const TaskRunner::Result r = runner(task("dry.sh"), true)->run(Clock::now());
    EXPECT_TRUE(r.output.contains(u"ARGS: --dry-run -a src dst\n"));
    EXPECT_TRUE(r.output.contains(u"ARGS: -z tab\n"));
    EXPECT_EQ(r.error, QStringLiteral("Script exited with code 4"));
    EXPECT_TRUE(logFiles().isEmpty());
}

TEST_F(Runner, DryRunOfAScriptBeyondOneArgumentsLimit) {
    // 300 KiB of comments: more than Linux lets one argument hold.
    QByteArray body = "rsync() { echo \"ARGS: $*\"; }\n";
    for (int i = 0; i < 6000; ++i)
        body += "# padding line " + QByteArray::number(i) + " ..............................\n";
    body +=
        "rsync -a big dst\nif [ -e /proc/$$/fd/3 ]; then echo fd3=open; else echo fd3=closed; fi\n";
    ASSERT_GT(body.size(), 256 * 1024);
    repo.script(QStringLiteral("big.sh"), body);
    const TaskRunner::Result r = runner(task("big.sh"), true)->run(Clock::now());
    EXPECT_TRUE(r.success) << r.error.value_or(QString()).toStdString();
    EXPECT_TRUE(r.output.contains(u"ARGS: --dry-run -a big dst\n"));
    EXPECT_TRUE(r.output.contains(u"fd3=closed\n")) << "the script sees 0, 1 and 2 only";
}

TEST_F(Runner, ScriptsInheritNoOtherDescriptors) {
    // A descriptor of the program's without close-on-exec.
    const int leaked = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(leaked, 3);
    repo.script(QStringLiteral("fds.sh"), "if [ -e /proc/$$/fd/" + QByteArray::number(leaked) +
                                              " ]; then echo leaked; fi\necho done\n");
    const TaskRunner::Result r = runner(task("fds.sh"))->run(Clock::now());
    ::close(leaked);
    EXPECT_EQ(r.output, u"done\n");
}

TEST_F(Runner, MissingScriptAndUncreatableLogFolder) {
    const TaskRunner::Result missing = runner(task("none.sh"))->run(Clock::now());
    const QString expected =
        QStringLiteral("Script not found: ") + repo.paths().scripts() + QStringLiteral("/none.sh");
    EXPECT_EQ(missing.error, expected);
    EXPECT_TRUE(onlyLog().contains("\n--- ERROR ---\n" + expected.toUtf8() + "\n\n--- Finished: "));
    EXPECT_TRUE(onlyLog().contains("Status: FAILED"));

    EXPECT_TRUE(
        runner(task("none.sh"), true)->run(Clock::now()).error->startsWith(u"Script not found"));

    TempRepo other;
    other.write(QStringLiteral("repo/logs"), "a file where the folder should be");
    other.script(QStringLiteral("ok.sh"), "exit 0\n");
    TaskRunner r(task("ok.sh"), other.paths(), false, {});
    const TaskRunner::Result noLog = r.run(Clock::now());
    EXPECT_FALSE(noLog.success);
    EXPECT_TRUE(noLog.error->contains(other.paths().logs()));
    EXPECT_TRUE(noLog.logError) << "the engine must learn that no log tells of this run";
}

TEST_F(Runner, StopEndsARunWhoseDaemonHoldsTheOutput) {
    // One daemon keeps the run's mark and is stopped with it; one wiped its
    // environment and outlives the stop, holding the pipe.
    repo.script(QStringLiteral("daemon.sh"),
                "setsid -f /bin/sh -c 'echo $$ > \"$0\"; exec sleep 1800' \"$PWD/../marked\"\n"
                "setsid -f env -i /bin/sh -c 'echo $$ > \"$0\"; exec /bin/sleep 1801' "
                "\"$PWD/../wiped\"\n"
                "echo started\nexit 0\n");
    auto r = runner(task("daemon.sh"));
    auto result = std::async(std::launch::async, [r] { return r->run(Clock::now()); });
    const auto pidIn = [&](const char* name) {
        return static_cast<pid_t>(TempRepo::read(path(name)).trimmed().toInt());
    };
    const bool up =
        waitUntilTrue([&] { return pidIn("marked") > 0 && pidIn("wiped") > 0; }, 15000ms);
    const pid_t marked = pidIn("marked"), wiped = pidIn("wiped");
    r->cancel(false, QStringLiteral("von Hand gestoppt"));
    const bool ended = result.wait_for(15s) == std::future_status::ready;
    if (wiped > 0) ::kill(wiped, SIGKILL);
    ASSERT_TRUE(up) << "the daemons did not start";
    ASSERT_TRUE(ended) << "the row would show läuft for ever";
    const TaskRunner::Result done = result.get();
    EXPECT_EQ(done.error, QStringLiteral("Abgebrochen: von Hand gestoppt"));
    EXPECT_TRUE(onlyLog().contains("\n--- Abgebrochen: von Hand gestoppt ---\n"));
    EXPECT_TRUE(onlyLog().contains("\n--- Finished: "));
    EXPECT_TRUE(waitUntilTrue([&] { return !exists(marked); }))
        << "a daemon of the run is stopped with it";
}

TEST_F(Runner, AFullDiskStillTellsHowTheRunEnded) {
    const QString logs = repo.paths().logs();
    QDir().mkpath(logs);
    if (::geteuid() != 0 ||
        Child::run(QStringLiteral("mount"),
                   {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                    QStringLiteral("size=64k"), QStringLiteral("tmpfs"), logs}) != 0)
        GTEST_SKIP() << "needs a small tmpfs (root)";
    // Fills the disk to the last byte, so no trailer fits.
    repo.script(QStringLiteral("fill.sh"), "head -c 300000 /dev/zero | tr '\\0' x; exit \"$1\"\n");
    for (const char* code : {"0", "3"}) {
        repo.script(QStringLiteral("run.sh"),
                    QByteArray("bash \"$PWD/Scripts/fill.sh\" ") + code + "\n");
        const TaskRunner::Result r = runner(task("run.sh"))->run(Clock::now());
        const QByteArray log = onlyLog().left(200);
        EXPECT_FALSE(log.contains("Status: RUNNING")) << code;
        EXPECT_TRUE(log.contains(code[0] == '0' ? "Status: SUCCESS" : "Status: FAILED")) << code;
        for (const QString& f : logFiles())
            QFile::remove(logs + u'/' + f);
    }
    Child::run(QStringLiteral("umount"), {logs});
}

TEST_F(Runner, FinalizeWorksOnTheLogItCreatedNotOnALinkSwappedIn) {
    const QString target = path("elsewhere.txt");
    ASSERT_TRUE(QFile(target).open(QIODevice::WriteOnly));
    repo.script(QStringLiteral("swap.sh"),
                "for f in \"$PWD\"/logs/*_Demo_Task.log; do rm \"$f\"; ln -s " + target.toUtf8() +
                    " \"$f\"; done\necho swapped\n");
    const TaskRunner::Result r = runner(task("swap.sh"))->run(Clock::now());
    EXPECT_TRUE(r.success);
    EXPECT_EQ(TempRepo::read(target), QByteArray()) << "nothing appended through the link";
}

// A script that ignores SIGTERM, with a child and a grandchild that do too, and
// one that left the process group.
constexpr const char* kStubborn =
    "trap '' TERM\n"
    "bash -c 'trap \"\" TERM; sleep 300 & echo $! >> \"$0\"; sleep 300' \"$1\" &\n"
    "echo $! >> \"$1\"\n"
    "setsid bash -c 'trap \"\" TERM; sleep 300' &\n"
    "echo $! >> \"$1\"\n"
    "sleep 0.3; touch \"$1.ready\"\n"
    "while true; do sleep 1; done\n";

// Starts the stubborn tree and returns its three pids once all of them run.
QList<pid_t> Runner::startStubbornTree(std::shared_ptr<TaskRunner>& r,
                                       std::future<TaskRunner::Result>& result) {
    const QString pids = path("pids");
    repo.script(QStringLiteral("tree.sh"),
                QByteArray("set -- ") + pids.toUtf8() + "\n" + kStubborn);
    r = runner(task("tree.sh"));
    result = std::async(std::launch::async, [r] { return r->run(Clock::now()); });
    if (!waitFor(pids + QStringLiteral(".ready"))) return {};
    return pidsIn(pids);
}

TEST_F(Runner, CancelWithWaitLeavesNothingOfTheTree) {
    std::shared_ptr<TaskRunner> r;
    std::future<TaskRunner::Result> result;
    const QList<pid_t> tree = startStubbornTree(r, result);
    ASSERT_EQ(tree.size(), 3);
    const auto begin = std::chrono::steady_clock::now();
    r->cancel(true, QStringLiteral("Savewright beendet (Neustart oder Ausschalten)"));
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 5500ms);
    EXPECT_TRUE(goneBy(tree, begin + 5500ms));
    const TaskRunner::Result done = result.get();
    EXPECT_EQ(done.error,
              QStringLiteral("Abgebrochen: Savewright beendet (Neustart oder Ausschalten)"));
    EXPECT_TRUE(onlyLog().contains(
        "\n--- Abgebrochen: Savewright beendet (Neustart oder Ausschalten) ---\n"));
    EXPECT_TRUE(onlyLog().contains("Status: FAILED"));
}

TEST_F(Runner, CancelWithoutWaitReturnsAtOnceAndKillsLater) {
    std::shared_ptr<TaskRunner> r;
    std::future<TaskRunner::Result> result;
    const QList<pid_t> tree = startStubbornTree(r, result);
    ASSERT_EQ(tree.size(), 3);
    const auto begin = std::chrono::steady_clock::now();
    r->cancel(false, QStringLiteral("von Hand gestoppt"));
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 1s);
    EXPECT_TRUE(goneBy(tree, begin + 5500ms));
    ASSERT_EQ(result.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(result.get().error, QStringLiteral("Abgebrochen: von Hand gestoppt"));
}

TEST_F(Runner, CancelOfAPoliteScriptReturnsQuickly) {
    repo.script(QStringLiteral("polite.sh"), "sleep 300 & wait\n");
    auto r = runner(task("polite.sh"));
    auto result = std::async(std::launch::async, [&] { return r->run(Clock::now()); });
    std::this_thread::sleep_for(300ms);
    const auto begin = std::chrono::steady_clock::now();
    r->cancel(true, QStringLiteral("x"));
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 2s);
    EXPECT_FALSE(result.get().success);
}

// A stop at any moment of a start ends the run at once: no script runs on.
TEST_F(Runner, CancelAtAnyMomentOfTheStartEndsTheRunPromptly) {
    repo.script(QStringLiteral("s.sh"), "sleep 30\n");
    std::mt19937 rng(3);
    for (int i = 0; i < 40; ++i) {
        auto r = runner(task("s.sh"));
        const auto begin = std::chrono::steady_clock::now();
        auto result = std::async(std::launch::async, [&] { return r->run(Clock::now()); });
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 15000));
        r->cancel(false, QStringLiteral("x"));
        ASSERT_EQ(result.wait_for(3s), std::future_status::ready) << "round " << i;
        EXPECT_EQ(result.get().error, QStringLiteral("Abgebrochen: x"));
        EXPECT_LT(std::chrono::steady_clock::now() - begin, 3s);
    }
}

TEST_F(Runner, StopReachesTwoHundredDescendantsWhateverTheyDo) {
    const QString pids = path("pids");
    repo.script(QStringLiteral("many.sh"),
                "for i in $(seq 1 200); do\n"
                "  case $((i % 4)) in\n"
                "    0) (trap '' TERM; exec sleep 300) & ;;\n"
                "    1) setsid sleep 300 & ;;\n"
                "    2) (trap '' TERM; setsid bash -c 'trap \"\" TERM; sleep 300') & ;;\n"
                "    3) sleep 300 & ;;\n"
                "  esac\n"
                "  echo $! >> \"" +
                    pids.toUtf8() +
                    "\"\n"
                    "done\ntouch \"" +
                    pids.toUtf8() + ".ready\"\nwait\n");
    auto r = runner(task("many.sh"));
    auto result = std::async(std::launch::async, [r] { return r->run(Clock::now()); });
    ASSERT_TRUE(waitFor(pids + QStringLiteral(".ready"), 20000ms));
    const QList<pid_t> children = pidsIn(pids);
    ASSERT_EQ(children.size(), 200);
    const auto begin = std::chrono::steady_clock::now();
    r->cancel(true, QStringLiteral("x"));
    EXPECT_TRUE(goneBy(children, begin + 5500ms));
    ASSERT_EQ(result.wait_for(3s), std::future_status::ready);
}

TEST(ProcessTable, StatLinesAndTreeWalk) {
    const auto e = ProcessTable::parseStat(
        "42 (we ird) name)) S 7 42 42 0 -1 4194304 1 0 0 0 0 0 0 0 20 0 1 0 123456 0 0\n");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->pid, 42);
    EXPECT_EQ(e->ppid, 7);
    EXPECT_EQ(e->startTime, 123456);
    EXPECT_FALSE(ProcessTable::parseStat("42 (x) S 7"));
    EXPECT_FALSE(ProcessTable::parseStat("garbage"));
    EXPECT_EQ(ProcessTable::parseCommandLine(QByteArrayView("/usr/bin/python3\0run.py\0", 24)),
              u"/usr/bin/python3 run.py");

    auto entry = [](pid_t pid, pid_t ppid) {
        ProcessTable::Entry x;
        x.pid = pid;
        x.ppid = ppid;
        return x;
    };
    const QList<ProcessTable::Entry> table = {entry(1, 0),   entry(10, 1),  entry(11, 10),
                                              entry(12, 10), entry(20, 12), entry(21, 11),
                                              entry(22, 12)};
    QList<pid_t> order;
    for (const auto& d : ProcessTable::descendants(10, table))
        order.append(d.pid);
    EXPECT_EQ(order, (QList<pid_t>{11, 12, 20, 22, 21}));
    EXPECT_TRUE(ProcessTable::descendants(21, table).isEmpty());
    EXPECT_TRUE(TaskRunner::descendants(::getpid()).isEmpty() ||
                !TaskRunner::descendants(::getpid()).contains(::getpid()));
}

// However the pipe cuts the output, the pump finds what the whole output holds.
TEST(OutputPump, AnyChunkingGivesTheWholeOutputStatistics) {
    const QByteArray lines[] = {"sending incremental file list\n",
                                "dir/my-file to-do -ch.txt\n",
                                "Number of files: 1,234 (reg: 1,000)\n",
                                "Total bytes sent:",
                                "\n   \n",
                                "  5,678\n",
                                "Number of files transferred: x\n",
                                "Number of files transferred:\n 42\n",
                                "  1,024 100%  \r",
                                "Total file size: 9 bytes\r\n",
                                "to-check=3/4)\n",
                                "Total bytes received: "};
    std::mt19937 rng(7);
    for (int round = 0; round < 3000; ++round) {
        QByteArray output;
        for (int i = 0, n = 1 + static_cast<int>(rng() % 12); i < n; ++i)
            output += lines[rng() % 12];
        QList<int> reports;
        OutputPump pump(-1, [&](int p) { reports.append(p); });
        for (qsizetype at = 0; at < output.size();) {
            const qsizetype size = 1 + static_cast<qsizetype>(rng() % (round % 2 ? 40 : 400));
            pump.feed(QByteArrayView(output).sliced(at, std::min(size, output.size() - at)));
            at += size;
        }
        pump.finish();
        const QString text = QString::fromLatin1(output);
        ASSERT_EQ(pump.stats(), LogStore::parseStats(text)) << output.constData();
        ASSERT_EQ(pump.output(), text);
        // Only the latest counts: the last report is the last line's value that
        // has one, and no value is passed on twice in a row.
        std::optional<int> latest;
        for (const QString& piece : text.split(QRegularExpression(QStringLiteral("[\r\n]"))))
            if (const auto v = Schedule::progress(piece)) latest = v;
        ASSERT_EQ(reports.isEmpty() ? std::nullopt : std::optional(reports.last()), latest)
            << output.constData();
        for (qsizetype i = 1; i < reports.size(); ++i)
            ASSERT_NE(reports[i], reports[i - 1]) << output.constData();
    }
}

// Megabytes in reads of every size, some filling the room they were given,
// some larger than a block: the result is the latest output, characters whole.
// The log as a reader finds it after every write of any size: the latest output
// at its end and never more than half again the limit; at the end the first
// half, the line and the latest half, with the count of what is between them.
TEST(BoundedLog, KeepsItsShapeAfterEveryWriteOfAnySize) {
    constexpr qint64 kMiB = 1024 * 1024, kLimit = 4 * kMiB;
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("run.log")));
    const PosixFile::UniqueFd fd(::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    ASSERT_TRUE(fd);
    const QByteArray header = "Started: now\n\n--- Output ---\n";
    ASSERT_TRUE(PosixFile::writeAll(fd.get(), header));
    BoundedLog log(fd.get(), kLimit);
    QByteArray all;
    std::mt19937 rng(31);
    for (int line = 0; all.size() < 40 * kMiB;) {
        QByteArray chunk;
        for (const qsizetype size = 1 + qsizetype(rng() % (300 * 1024)); chunk.size() < size;)
            chunk += "line " + QByteArray::number(++line) + " of the copy\n";
        log.write(chunk);
        all += chunk;
        const off_t size = ::lseek(fd.get(), 0, SEEK_END);
        ASSERT_LE(size, header.size() + kLimit * 3 / 2 + chunk.size() + 8192)
            << "after " << all.size();
        QByteArray end(chunk.size(), Qt::Uninitialized);
        ASSERT_EQ(::pread(fd.get(), end.data(), size_t(end.size()), size - end.size()), end.size());
        ASSERT_EQ(end, chunk) << "after " << all.size();
    }
    log.finish();
    const QByteArray file = TempRepo::read(QFile::decodeName(path));
    ASSERT_TRUE(file.startsWith(header));
    const QByteArray kept = file.sliced(header.size());
    const QRegularExpression said(
        QStringLiteral("--- (\\d+) bytes of output left out \\(max_log_mb = 4\\) ---\n"));
    const QRegularExpressionMatch m = said.match(QString::fromLatin1(kept));
    ASSERT_TRUE(m.hasMatch());
    const QByteArray first = kept.first(m.capturedStart());
    const QByteArray latest = kept.sliced(m.capturedEnd());
    EXPECT_TRUE(all.startsWith(first));
    EXPECT_TRUE(all.endsWith(latest));
    EXPECT_TRUE(first.endsWith(" of the copy\n"));
    EXPECT_TRUE(latest.startsWith("line "));
    EXPECT_EQ(first.size() + m.captured(1).toLongLong() + latest.size(), all.size());
    EXPECT_LE(latest.size(), kLimit / 2);
    EXPECT_GE(latest.size(), kLimit / 2 - 4096);
}

TEST(OutputPump, KeepsTheLatestOutputAcrossReadsOfAnySize) {
    std::mt19937 rng(11);
    QByteArray all;
    while (all.size() < 5 * OutputPump::kBlock)
        all += "Zeile " + QByteArray::number(all.size()) + " äöü €\n";
    OutputPump pump(-1, nullptr);
    for (qsizetype at = 0; at < all.size();) {
        const qsizetype want =
            std::min<qsizetype>(1 + rng() % (OutputPump::kBlock / 3), all.size() - at);
        if (rng() % 8 == 0) { // from elsewhere, up to two blocks at once
            const qsizetype size = std::min<qsizetype>(want * 6, all.size() - at);
            pump.feed(QByteArrayView(all).sliced(at, size));
            at += size;
            continue;
        }
        const std::span<char> room = pump.room(1024);
        const qsizetype n = std::min<qsizetype>(want, qsizetype(room.size()));
        std::memcpy(room.data(), all.constData() + at, size_t(n));
        pump.took(n);
        at += n;
    }
    pump.finish();
    EXPECT_EQ(pump.output(), QString::fromUtf8(all).right(OutputPump::kKeptOutput));
}

// Thousands of lines in one chunk, each with a percentage: one report for it.
TEST(OutputPump, AFloodOfPercentagesReportsTheLatestOnly) {
    QList<int> reports;
    OutputPump pump(-1, [&](int p) { reports.append(p); });
    QByteArray chunk;
    for (int i = 0; i <= 1000; ++i)
        chunk += "file " + QByteArray::number(i) + "  " + QByteArray::number(i % 100) + "%\n";
    pump.feed(chunk);
    pump.feed(QByteArray("x 50%\n").repeated(2000));
    pump.feed(" 7% and no end");
    pump.finish();
    EXPECT_EQ(reports, (QList<int>{0, 50, 7}));
}

TEST(OutputPump, LabelsAndPercentagesAtTheEndOfVeryLongLines) {
    // Labels and percentages placed around every place where a long line is
    // cut into pieces; the whole-output rule still decides.
    std::mt19937 rng(11);
    QList<qsizetype> lengths;
    for (qsizetype edge :
         {OutputPump::kLongestLine - OutputPump::kOverlap, OutputPump::kLongestLine,
          2 * (OutputPump::kLongestLine - OutputPump::kOverlap), qsizetype(300000)})
        for (qsizetype d = -40; d <= 8; d += 3)
            lengths.append(edge + d);
    for (qsizetype length : lengths) {
        QByteArray filler(length, 'a');
        for (qsizetype i = 7; i < length; i += 8)
            filler[i] = ' ';
        const QByteArray output = filler + "Total bytes sent: 10 " + filler.left(50) +
                                  " 50% x to-chk=1/4 " + "\nNumber of files: 3\n";
        QList<int> reports;
        OutputPump pump(-1, [&](int p) { reports.append(p); });
        for (qsizetype at = 0; at < output.size();) {
            const qsizetype size = 1 + static_cast<qsizetype>(rng() % 70000);
            pump.feed(QByteArrayView(output).sliced(at, std::min(size, output.size() - at)));
            at += size;
        }
        pump.finish();
        ASSERT_EQ(pump.stats(), LogStore::parseStats(QString::fromLatin1(output))) << length;
        ASSERT_FALSE(reports.isEmpty()) << length;
        // The counter anywhere in the line wins over the percentage before it.
        EXPECT_EQ(reports.last(), 75) << length;
    }
    // A percentage alone at the end of a long line.
    QList<int> reports;
    OutputPump pump(-1, [&](int p) { reports.append(p); });
    pump.feed(QByteArray(200000, 'z') + " 42%\n");
    pump.finish();
    EXPECT_EQ(reports, QList<int>{42});
}

// A chatty script: its log keeps the first and the latest output, whole lines,
// and says how much it left out; the failure line is still the last one.
TEST_F(Runner, AChattyRunsLogKeepsItsFirstAndLatestOutputWithinItsSize) {
    repo.script(QStringLiteral("chatty.sh"),
                "echo 'plan: copy everything'\n"
                "seq -f 'line %08g of the copy' 1 400000\n" // 10.4 MB
                "echo 'last words: disk full'\nexit 1\n");
    TaskConfig t = task("chatty.sh");
    t.maxLogMb = 1;
    const TaskRunner::Result r = runner(t)->run(Clock::now());
    EXPECT_FALSE(r.success);
    const QByteArray log = onlyLog();
    const qsizetype output = log.indexOf("--- Output ---\n") + 15;
    const qsizetype trailer = log.lastIndexOf("\n--- Finished: ");
    ASSERT_GT(output, 15);
    ASSERT_GT(trailer, output);
    const QByteArray kept = log.mid(output, trailer - output);
    EXPECT_LE(kept.size(), 1024 * 1024 + 200);
    EXPECT_GE(kept.size(), 1024 * 1024 - 2 * 4096);
    EXPECT_TRUE(log.contains("Status: FAILED"));

    const QRegularExpression said(QStringLiteral("\n--- (\\d+) bytes of output left out "
                                                 "\\(max_log_mb = 1\\) ---\n"));
    const QRegularExpressionMatch m = said.match(QString::fromUtf8(kept));
    ASSERT_TRUE(m.hasMatch()) << kept.left(200).constData();
    const QByteArray first = kept.left(m.capturedStart() + 1);
    const QByteArray latest = kept.mid(m.capturedEnd());
    EXPECT_TRUE(first.startsWith("plan: copy everything\nline 00000001 of the copy\n"));
    EXPECT_TRUE(latest.endsWith("line 00400000 of the copy\nlast words: disk full\n"));
    // Whole lines on both sides, and the count is what is missing between them.
    EXPECT_TRUE(first.endsWith(" of the copy\n"));
    EXPECT_TRUE(latest.startsWith("line "));
    const qint64 printed = 22 + 400000 * 26 + 22;
    EXPECT_EQ(first.size() + m.captured(1).toLongLong() + latest.size(), printed);
    EXPECT_EQ(LogStore::failureLine(repo.paths().logs() + u'/' + logFiles()[0]),
              QStringLiteral("last words: disk full"));
}

TEST_F(Runner, WithoutALimitEveryByteStays) {
    repo.script(QStringLiteral("chatty.sh"), "seq -f 'line %08g of the copy' 1 100000\n");
    TaskConfig t = task("chatty.sh");
    t.maxLogMb = 0;
    ASSERT_TRUE(runner(t)->run(Clock::now()).success);
    EXPECT_TRUE(onlyLog().contains("line 00000001 of the copy\n"));
    EXPECT_EQ(onlyLog().count(" of the copy\n"), 100000);
}

// Out of the way: the script and what it starts run at the task's niceness and
// I/O class, read back from the kernel; the program itself stays as it was.
TEST_F(Runner, NiceAndIdleIoReachTheScriptAndItsChildren) {
    repo.script(QStringLiteral("low.sh"), "echo $$ > ../script\n"
                                          "sleep 30 & echo $! > ../child\nwait\n");
    TaskConfig t = task("low.sh");
    t.nice = 15;
    t.ioIdle = true;
    auto r = runner(t);
    auto result = std::async(std::launch::async, [r] { return r->run(Clock::now()); });
    ASSERT_TRUE(waitFor(path("child")));
    ASSERT_TRUE(waitUntilTrue([&] { return !pidsIn(path("child")).isEmpty(); }));
    const pid_t script = pidsIn(path("script")).value(0), child = pidsIn(path("child")).value(0);
    for (const pid_t pid : {script, child}) {
        const auto entry = ProcessTable::entry(pid);
        ASSERT_TRUE(entry);
        const QList<QByteArray> fields =
            TempRepo::read(QStringLiteral("/proc/%1/stat").arg(pid)).split(')').last().split(' ');
        EXPECT_EQ(fields.value(17), "15") << "nice of " << pid; // field 19 of the whole line
        const long prio = ::syscall(SYS_ioprio_get, 1 /* IOPRIO_WHO_PROCESS */, pid);
        EXPECT_EQ(prio >> 13, 3) << "I/O class idle of " << pid;
    }
    EXPECT_EQ(::getpriority(PRIO_PROCESS, 0), 0) << "the program's own thread is untouched";
    r->cancel(true, QStringLiteral("Test"));
    EXPECT_EQ(result.wait_for(15s), std::future_status::ready);

    // best-effort without a niceness: the level the kernel gives niceness 0.
    repo.script(QStringLiteral("plain.sh"), "echo $$ > ../plain\nsleep 30\n");
    TaskConfig plain = task("plain.sh", "Plain");
    plain.ioIdle = false;
    auto p = runner(plain);
    auto plainResult = std::async(std::launch::async, [p] { return p->run(Clock::now()); });
    ASSERT_TRUE(waitUntilTrue([&] { return !pidsIn(path("plain")).isEmpty(); }));
    const pid_t plainPid = pidsIn(path("plain")).value(0);
    EXPECT_EQ(TempRepo::read(QStringLiteral("/proc/%1/stat").arg(plainPid))
                  .split(')')
                  .last()
                  .split(' ')
                  .value(17),
              "0");
    EXPECT_EQ(::syscall(SYS_ioprio_get, 1, plainPid), (2 << 13) | 4);
    p->cancel(true, QStringLiteral("Test"));
    EXPECT_EQ(plainResult.wait_for(15s), std::future_status::ready);
}
