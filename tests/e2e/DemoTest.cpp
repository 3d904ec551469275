// The built program on a fresh copy of the bundled demo, as a newcomer runs it.
#include "engine/Engine.h"
#include "platform/ProcessTable.h"
#include "support/EventLoop.h"
#include "support/ProgramEnvironment.h"
#include "support/TempRepo.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <csignal>

namespace {

class Demo : public ::testing::Test {
  protected:
    void SetUp() override {
        QProcess prepare;
        prepare.start(QStringLiteral(SAVEWRIGHT_SOURCE "/scripts/prepare-demo"), {demo()});
        ASSERT_TRUE(prepare.waitForFinished(60000));
        ASSERT_EQ(prepare.exitCode(), 0) << prepare.readAllStandardError().constData();
    }
    QString demo() const { return temp.path() + QStringLiteral("/demo"); }
    QString logs() const { return demo() + QStringLiteral("/repo/logs"); }
    QStringList roots() const {
        return {QStringLiteral("--repo"), demo() + QStringLiteral("/repo"),
                QStringLiteral("--support"), demo() + QStringLiteral("/support")};
    }
    QStringList logsOf(const char* safeName) const {
        return QDir(logs()).entryList(
            {QStringLiteral("*_") + QString::fromUtf8(safeName) + QStringLiteral(".log")},
            QDir::Files, QDir::Name);
    }
    static QProcessEnvironment headless() { return programEnvironment(); }
    int run(const QStringList& arguments, int timeoutMs = 60000) {
        QProcess p;
        p.setProcessEnvironment(headless());
        p.start(QStringLiteral(SAVEWRIGHT_BINARY), arguments);
        p.waitForFinished(timeoutMs);
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    QTemporaryDir temp;
};

} // namespace

TEST_F(Demo, WaitingSnapshotRunsTheDueTasksAndLeavesDocumentedLogs) {
    const QString png = temp.path() + QStringLiteral("/panel.png");
    EXPECT_EQ(run(roots() << QStringLiteral("--snapshot") << png << QStringLiteral("--wait")
                          << QStringLiteral("7")),
              0);
    EXPECT_EQ(QImage(png).width(), 760);
    ASSERT_EQ(logsOf("Dokumente").size(), 1);
    const QByteArray log = TempRepo::read(logs() + u'/' + logsOf("Dokumente")[0]);
    static const QRegularExpression format(QStringLiteral(
        "^Ferrymat Log — Dokumente\\nStarted: \\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{6}\\n"
        "Script: backup_documents.sh\\nStatus: SUCCESS\\n\\n--- Output ---\\n(.|\\n)*"
        "\\n--- Finished: \\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{6} ---\\n"
        "\\n--- Stats ---\\nFiles: \\d+ .*\\n(.|\\n)*Bytes received: \\d+\\n$"));
    EXPECT_TRUE(format.match(QString::fromUtf8(log)).hasMatch()) << log.constData();
    EXPECT_TRUE(TempRepo::read(logs() + u'/' + logsOf("USB-Stick")[0]).contains("Status: FAILED"));
    EXPECT_TRUE(QFileInfo::exists(logs() + QStringLiteral("/Löschbericht.html")));
    EXPECT_TRUE(TempRepo::read(logs() + u'/' + logsOf("Fotos")[0]).contains("100%"));
}

TEST_F(Demo, ObserveOnlyStartsNothing) {
    const QStringList before = QDir(logs()).entryList(QDir::Files);
    EXPECT_EQ(run(roots() << QStringLiteral("--observe") << QStringLiteral("--snapshot")
                          << temp.path() + QStringLiteral("/o.png") << QStringLiteral("--wait")
                          << QStringLiteral("3")),
              0);
    EXPECT_EQ(QDir(logs()).entryList(QDir::Files), before);
}

TEST_F(Demo, SecondWorkingCopyLeavesAtOnce) {
    // Both copies use the default support folder, which the environment places here.
    QProcessEnvironment env = headless();
    env.insert(QStringLiteral("XDG_DATA_HOME"), temp.path() + QStringLiteral("/data"));
    QDir().mkpath(temp.path() + QStringLiteral("/data"));
    ASSERT_TRUE(QFile::rename(demo() + QStringLiteral("/support"),
                              temp.path() + QStringLiteral("/data/Ferrymat")));
    const QStringList args{QStringLiteral("--repo"), demo() + QStringLiteral("/repo")};
    QProcess first;
    first.setProcessEnvironment(env);
    first.start(QStringLiteral(SAVEWRIGHT_BINARY), args);
    ASSERT_TRUE(waitUntil([&] { return !logsOf("Dokumente").isEmpty(); }, 15000));
    QProcess second;
    second.setProcessEnvironment(env);
    QElapsedTimer timer;
    timer.start();
    second.start(QStringLiteral(SAVEWRIGHT_BINARY), args);
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardOutput().isEmpty())
        << "leaves silently, without loading anything";
    EXPECT_EQ(first.state(), QProcess::Running);
    ::kill(static_cast<pid_t>(first.processId()), SIGTERM);
    ASSERT_TRUE(first.waitForFinished(15000));
    EXPECT_EQ(first.exitCode(), 0);
}

TEST_F(Demo, SigtermDuringARunLeavesTheAbortMarkerAndNoStrayProcess) {
    QProcess app;
    app.setProcessEnvironment(headless());
    app.start(QStringLiteral(SAVEWRIGHT_BINARY), roots());
    // The photo copy takes several seconds; stop the program in the middle of it.
    ASSERT_TRUE(waitUntil(
        [&] {
            const QStringList l = logsOf("Fotos");
            return !l.isEmpty() && TempRepo::read(logs() + u'/' + l[0]).contains("kopiert:");
        },
        15000));
    ::kill(static_cast<pid_t>(app.processId()), SIGTERM);
    ASSERT_TRUE(app.waitForFinished(15000));
    EXPECT_EQ(app.exitCode(), 0);
    const QByteArray log = TempRepo::read(logs() + u'/' + logsOf("Fotos")[0]);
    EXPECT_TRUE(
        log.contains("\n--- Abgebrochen: Savewright beendet (Neustart oder Ausschalten) ---\n"))
        << log.constData();
    for (const ProcessTable::Entry& e : ProcessTable::entries()) {
        const QString command = ProcessTable::commandLine(e.pid);
        EXPECT_FALSE(command.contains(demo()) && !e.zombie()) << qPrintable(command);
    }
}

TEST_F(Demo, DashboardGeneratorWritesThePage) {
    Engine engine(Paths(demo() + QStringLiteral("/repo"), demo() + QStringLiteral("/support")),
                  true, {},
                  std::make_unique<QSettings>(temp.path() + QStringLiteral("/seen.ini"),
                                              QSettings::IniFormat));
    std::optional<QString> page, error;
    bool done = false;
    engine.generateDashboard([&](std::optional<QString> p, std::optional<QString> e) {
        page = p;
        error = e;
        done = true;
    });
    ASSERT_TRUE(waitUntil([&] { return done; }, 30000));
    ASSERT_TRUE(page) << qPrintable(error.value_or(QString()));
    const QByteArray html = TempRepo::read(*page);
    EXPECT_TRUE(html.contains("<h1>Savewright Dashboard</h1>"));
    EXPECT_TRUE(html.contains("Cloud-Sync"));
    EXPECT_TRUE(html.contains("Wochenarchiv"));
}
