#include "support/EngineFixture.h"

namespace {

class Services : public EngineFixture {
  protected:
    QString journal() const {
        return repo.paths().appSupport + QStringLiteral("/state/loeschschutz.jsonl");
    }
    void append(const QByteArray& lines) {
        QDir().mkpath(QFileInfo(journal()).path());
        QFile f(journal());
        f.open(QIODevice::Append);
        f.write(lines);
    }
    std::unique_ptr<Engine> engineWithEvents() {
        auto e = makeEngine();
        e->onNewDeletionEvent = [this](const DeletionEvent& ev) { events.append(ev); };
        return e;
    }
    QList<DeletionEvent> events;
};

struct Dashboard {
    std::optional<QString> page, error;
    bool done = false;
};

Dashboard generate(Engine& e) {
    Dashboard d;
    e.generateDashboard([&](std::optional<QString> page, std::optional<QString> error) {
        EXPECT_FALSE(d.done) << "called once";
        d = {page, error, true};
    });
    waitUntil([&] { return d.done; });
    return d;
}

} // namespace

TEST(DeletionEventLines, DecodingRules) {
    const auto full = DeletionEvent::fromJsonLine(
        QStringLiteral(R"({"id":"a1","kind":"woche","summary":"3 Dateien","x":1})"));
    ASSERT_TRUE(full);
    EXPECT_EQ(*full, (DeletionEvent{QStringLiteral("a1"), QStringLiteral("woche"),
                                    QStringLiteral("3 Dateien")}));
    EXPECT_EQ(full->title(), u"Löschbericht");
    const auto bare = DeletionEvent::fromJsonLine(QStringLiteral(R"({"id":"b","kind":7})"));
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->kind, u"schutz");
    EXPECT_EQ(bare->title(), u"Löschschutz");
    EXPECT_TRUE(bare->summary.isEmpty());
    for (const char* bad : {R"({"id":""})", R"({"id":5})", R"({"kind":"woche"})", R"(["id"])",
                            R"({"id":"half)", "not json", ""})
        EXPECT_FALSE(DeletionEvent::fromJsonLine(QString::fromUtf8(bad))) << bad;
}

TEST_F(Services, JournalCreatedLaterIsAnnouncedOnce) {
    auto e = engineWithEvents();
    EXPECT_EQ(settings()->value(QStringLiteral("lastDeletionEvent")), QVariant(QString()));
    append("{\"id\":\"a1\",\"summary\":\"x\"}\n");
    e->refreshLogs();
    ASSERT_EQ(events.size(), 1);
    EXPECT_EQ(events[0].id, u"a1");
    EXPECT_TRUE(e->deletionReportUnseen);
    e->refreshLogs();
    EXPECT_EQ(events.size(), 1) << "unchanged journal";
    append("{\"id\":\"b1\"}\n{\"id\":\"b2\",\"kind\":\"woche\"}\n");
    e->refreshLogs();
    ASSERT_EQ(events.size(), 2) << "two lines between checks: only the last";
    EXPECT_EQ(events[1].id, u"b2");
    append("{\"id\":\"b2\"}\n{\"id\":5}\n{\"id\":\"half");
    e->refreshLogs();
    EXPECT_EQ(events.size(), 2) << "same id, a number, a half-written line";
    e->markDeletionReportSeen();
    EXPECT_FALSE(e->deletionReportUnseen);
    // The id survives a restart.
    auto again = engineWithEvents();
    EXPECT_EQ(events.size(), 2);
    EXPECT_EQ(settings()->value(QStringLiteral("lastDeletionEvent")).toString(), u"b2");
}

TEST_F(Services, ExistingJournalAtTheFirstCheckIsNotAnnounced) {
    append("{\"id\":\"old\"}\n\n\n");
    auto e = engineWithEvents();
    EXPECT_TRUE(events.isEmpty());
    EXPECT_FALSE(e->deletionReportUnseen);
    EXPECT_EQ(settings()->value(QStringLiteral("lastDeletionEvent")).toString(), u"old");
    // Replaced by a binary file: ignored, no crash.
    repo.write(QStringLiteral("support/state/loeschschutz.jsonl"), QByteArray("\x00\xff\xfe{", 4));
    e->refreshLogs();
    EXPECT_TRUE(events.isEmpty());
}

TEST_F(Services, EventsThatArrivedWhileNotRunningAreAnnouncedOnceStarted) {
    append("{\"id\":\"old\"}\n");
    engineWithEvents(); // a first run sees the journal and takes "old" as seen
    append("{\"id\":\"new\",\"summary\":\"3 Dateien geschützt\"}\n");
    // The next start: the engine reads the journal at creation, before the shell
    // wires its callback.
    auto e = makeEngine();
    EXPECT_TRUE(e->deletionReportUnseen);
    e->onNewDeletionEvent = [this](const DeletionEvent& ev) { events.append(ev); };
    e->start();
    ASSERT_EQ(events.size(), 1);
    EXPECT_EQ(events[0].summary, u"3 Dateien geschützt");
    e->refreshLogs();
    e->shutdown();
    EXPECT_EQ(events.size(), 1) << "announced once";
}

TEST_F(Services, LastLineFromTheEndOfAHugeJournal) {
    QDir().mkpath(QFileInfo(journal()).path());
    QFile f(journal());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_TRUE(f.resize(200 * 1024 * 1024)); // sparse: 200 MB of NUL bytes
    f.seek(f.size());
    f.write("\n{\"id\":\"tail\"}\n\n");
    f.close();
    EXPECT_EQ(Engine::lastJournalLine(journal()), QStringLiteral("{\"id\":\"tail\"}"));
    repo.write(QStringLiteral("one.jsonl"), "{\"id\":\"only\"}");
    EXPECT_EQ(Engine::lastJournalLine(repo.root() + QStringLiteral("/one.jsonl")),
              QStringLiteral("{\"id\":\"only\"}"));
    repo.write(QStringLiteral("long.jsonl"), "x\n" + QByteArray(300 * 1024, 'y') + "\n");
    EXPECT_EQ(Engine::lastJournalLine(repo.root() + QStringLiteral("/long.jsonl"))->size(),
              300 * 1024);
    repo.write(QStringLiteral("huge.jsonl"), QByteArray(3 * 1024 * 1024, 'y'));
    EXPECT_FALSE(Engine::lastJournalLine(repo.root() + QStringLiteral("/huge.jsonl")));
    repo.write(QStringLiteral("empty.jsonl"), "\n\n");
    EXPECT_FALSE(Engine::lastJournalLine(repo.root() + QStringLiteral("/empty.jsonl")));
}

TEST_F(Services, ReportPageFoundInDecomposedForm) {
    auto e = makeEngine();
    EXPECT_FALSE(e->latestDeletionReport.value());
    const QString decomposed = QStringLiteral("Lo\u0308schbericht.html");
    repo.write(QStringLiteral("repo/logs/") + decomposed, "<html>");
    e->refreshLogs();
    EXPECT_EQ(e->latestDeletionReport.value(), repo.paths().logs() + u'/' + decomposed);
    QFile::remove(repo.paths().logs() + u'/' + decomposed);
    e->refreshLogs();
    EXPECT_TRUE(e->latestDeletionReport.value()) << "a found report is not forgotten";
}

TEST_F(Services, DashboardGeneratorContract) {
    auto e = makeEngine();
    const Dashboard missing = generate(*e);
    EXPECT_EQ(missing.error, QStringLiteral("Python nicht gefunden: ") + repo.paths().appSupport +
                                 QStringLiteral("/venv/bin/python"));
    EXPECT_FALSE(missing.page);

    // A stand-in interpreter: runs the "generator" path it is given with bash.
    const QString python =
        repo.write(QStringLiteral("support/venv/bin/python"),
                   "#!/bin/bash\necho \"$@\" > \"$(dirname \"$0\")/args\"\nexec bash \"$1\"\n");
    QFile::setPermissions(python, QFile::permissions(python) | QFile::ExeOwner);
    const QString generator = QStringLiteral("repo/Python/dashboard/generate_dashboard.py");
    repo.write(generator, "echo fine\nexit 0\n");
    const Dashboard ok = generate(*e);
    EXPECT_EQ(ok.page, repo.paths().logs() + QStringLiteral("/Dashboard.html"));
    EXPECT_FALSE(ok.error);
    const QByteArray args = TempRepo::read(repo.root() + QStringLiteral("/support/venv/bin/args"));
    EXPECT_EQ(
        args,
        (repo.paths().repo + QStringLiteral("/Python/dashboard/generate_dashboard.py --logs ") +
         repo.paths().logs() + QStringLiteral(" --config ") + repo.paths().configFile() +
         QStringLiteral(" --out ") + repo.paths().logs() + QStringLiteral("/Dashboard.html\n"))
            .toUtf8());

    repo.write(generator,
               "echo 'first problem' >&2\necho 'Keine Logs gefunden' >&2\necho >&2\nexit 1\n");
    EXPECT_EQ(generate(*e).error, QStringLiteral("Keine Logs gefunden"));
    repo.write(generator, "echo 'only stdout'\nexit 2\n");
    EXPECT_EQ(generate(*e).error, QStringLiteral("Fehler"));
    // Megabytes of warnings first: the error is still the last line.
    repo.write(generator,
               "for i in $(seq 40000); do echo \"warning $i: ................\" >&2; done\n"
               "echo 'Traceback: the real cause' >&2\nexit 1\n");
    EXPECT_EQ(generate(*e).error, QStringLiteral("Traceback: the real cause"));
}
