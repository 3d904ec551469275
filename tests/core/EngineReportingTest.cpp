// What the engine tells monitoring: push checks over real HTTP and the metrics file.
#include "engine/Metrics.h"
#include "support/EngineFixture.h"
#include "support/EngineTestDoor.h"
#include "update/Network.h"
#include "update/Ping.h"

#include <QNetworkReply>
#include <QPointer>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

#include <sys/stat.h>

namespace {

// Records every HTTP request on 127.0.0.1; answers 200, or never when `hang`.
class PingServer {
  public:
    struct Request {
        QByteArray method, path, body;
    };
    PingServer() {
        server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            QTcpSocket* s = server_.nextPendingConnection();
            sockets_.append(s);
            auto* buffer = new QByteArray;
            QObject::connect(s, &QObject::destroyed, [buffer] { delete buffer; });
            QObject::connect(s, &QTcpSocket::readyRead, s, [this, s, buffer] {
                *buffer += s->readAll();
                const qsizetype end = buffer->indexOf("\r\n\r\n");
                if (end < 0) return;
                const QByteArray head = buffer->first(end);
                const QRegularExpression length(QStringLiteral("(?i)content-length: *(\\d+)"));
                const auto m = length.match(QString::fromLatin1(head));
                const qsizetype size = m.hasMatch() ? m.captured(1).toLongLong() : 0;
                if (buffer->size() < end + 4 + size) return;
                const QList<QByteArray> line = head.split('\n').first().trimmed().split(' ');
                requests.append({line.value(0), line.value(1), buffer->mid(end + 4, size)});
                if (hang) return;
                s->write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nOK");
                s->disconnectFromHost();
            });
        });
    }
    QByteArray url() const {
        return "http://127.0.0.1:" + QByteArray::number(server_.serverPort()) + "/ping/abc";
    }
    int openConnections() const {
        return static_cast<int>(
            std::count_if(sockets_.cbegin(), sockets_.cend(), [](const auto& s) {
                return s && s->state() == QAbstractSocket::ConnectedState;
            }));
    }
    QList<Request> requests;
    bool hang = false;

  private:
    QTcpServer server_;
    QList<QPointer<QTcpSocket>> sockets_;
};

class Reporting : public EngineFixture {
  protected:
    QString metricsFile() const { return repo.root() + QStringLiteral("/out/savewright.prom"); }
    void SetUp() override { holdingRuns = true; }
    bool runToEnd(Engine& e, const char* name) {
        e.runNow(task(e, name), false);
        return task(e, name)->running && finished(e, name);
    }
    // Every sample of the file, "name{labels}" → value; comments checked for form.
    QHash<QString, double> samples() const {
        QHash<QString, double> out;
        const QString text = QString::fromUtf8(TempRepo::read(metricsFile()));
        const QRegularExpression sample(QStringLiteral(R"(^([a-z_]+\{.*\}) (\S+)$)"));
        for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts)) {
            if (line.startsWith(u"# HELP ") || line.startsWith(u"# TYPE ")) continue;
            const auto m = sample.match(line);
            EXPECT_TRUE(m.hasMatch()) << line.toStdString();
            bool ok = false;
            out.insert(m.captured(1), m.captured(2).toDouble(&ok));
            EXPECT_TRUE(ok) << line.toStdString();
        }
        return out;
    }
};

} // namespace

TEST(PingRules, AddressesAndBoundedBody) {
    const QString base = QStringLiteral("https://hc.example/ping/u-1");
    EXPECT_EQ(Ping::address(base, Ping::Event::Success), base);
    EXPECT_EQ(Ping::address(base, Ping::Event::Start), base + QStringLiteral("/start"));
    EXPECT_EQ(Ping::address(base + u'/', Ping::Event::Fail), base + QStringLiteral("/fail"));
    EXPECT_EQ(Ping::address(base + QStringLiteral("?rid=7"), Ping::Event::Fail),
              base + QStringLiteral("/fail?rid=7"));

    EXPECT_EQ(Ping::body(QStringLiteral("kurz\n")), "kurz\n");
    QString many;
    for (int i = 0; i < 2000; ++i)
        many += QStringLiteral("Zeile %1 äöü\n").arg(i);
    const QByteArray body = Ping::body(many);
    EXPECT_LE(body.size(), Ping::kLargestBody);
    EXPECT_GT(body.size(), Ping::kLargestBody - 100);
    EXPECT_TRUE(body.startsWith("Zeile ")) << body.first(20).constData();
    EXPECT_TRUE(body.endsWith("Zeile 1999 \xc3\xa4\xc3\xb6\xc3\xbc\n"));
    // One long line without breaks: cut at a character, never inside one.
    const QByteArray one = Ping::body(QString(5000, QChar(0x00e4)));
    EXPECT_LE(one.size(), Ping::kLargestBody);
    EXPECT_EQ(QString::fromUtf8(one), QString(one.size() / 2, QChar(0x00e4)));
}

TEST_F(Reporting, PingsAtStartSuccessAndFailureWithTheLastLines) {
    PingServer server;
    repo.script(QStringLiteral("ok.sh"), "echo alles gut\n");
    repo.script(QStringLiteral("bad.sh"), "for i in $(seq 1 3000); do echo \"Zeile $i\"; done\n"
                                          "echo 'rsync error: kaputt' >&2\nexit 3\n");
    writeConfig("[[task]]\nname = 'Gut'\ntype = 'scheduled'\nscript = 'ok.sh'\nping_url = '" +
                server.url() +
                "'\n"
                "[[task]]\nname = 'Schlecht'\ntype = 'scheduled'\nscript = 'bad.sh'\n"
                "interval_minutes = 100000\nping_url = '" +
                server.url() + "/'\n");
    writeLog("Schlecht", clockNow.addSecs(-60), "SUCCESS"); // not due on its own
    auto e = makeEngine();
    ASSERT_TRUE(runToEnd(*e, "Gut"));
    ASSERT_TRUE(waitUntil([&] { return server.requests.size() == 2; }));
    EXPECT_EQ(server.requests[0].path, "/ping/abc/start");
    EXPECT_EQ(server.requests[0].body, "");
    EXPECT_EQ(server.requests[1].method, "POST");
    EXPECT_EQ(server.requests[1].path, "/ping/abc");
    EXPECT_TRUE(server.requests[1].body.contains("alles gut\n"));

    ASSERT_TRUE(runToEnd(*e, "Schlecht"));
    ASSERT_TRUE(waitUntil([&] { return server.requests.size() == 4; }));
    EXPECT_EQ(server.requests[2].path, "/ping/abc/start");
    EXPECT_EQ(server.requests[3].path, "/ping/abc/fail");
    const QByteArray& body = server.requests[3].body;
    EXPECT_LE(body.size(), Ping::kLargestBody);
    EXPECT_TRUE(body.contains("Zeile 3000\nrsync error: kaputt")) << body.right(200).constData();

    // Dry runs tell nobody.
    e->runNow(task(*e, "Gut"), true);
    ASSERT_TRUE(finished(*e, "Gut"));
    EXPECT_FALSE(task(*e, "Gut")->waiting());
    QCoreApplication::processEvents();
    EXPECT_EQ(server.requests.size(), 4);
}

TEST_F(Reporting, AServiceThatNeverAnswersDelaysNothing) {
    auto server = std::make_unique<PingServer>();
    server->hang = true;
    repo.script(QStringLiteral("ok.sh"), "true\n");
    writeConfig("[[task]]\nname = 'Gut'\ntype = 'scheduled'\nscript = 'ok.sh'\nping_url = '" +
                server->url() + "'\n");
    auto e = makeEngine();
    ASSERT_TRUE(runToEnd(*e, "Gut"));
    // The run ended while its pings still wait for an answer: nothing waited for them.
    EXPECT_EQ(task(*e, "Gut")->summary.value().latestStatus, LogStatus::Success);
    ASSERT_TRUE(waitUntil([&] { return server->requests.size() == 2; }));
    EXPECT_EQ(server->openConnections(), 2);
    // The service goes away: the pings end with it, none is left in flight.
    server.reset();
    EXPECT_TRUE(waitUntil([] {
        const auto replies = Network::manager().findChildren<QNetworkReply*>();
        return std::all_of(replies.cbegin(), replies.cend(),
                           [](const QNetworkReply* r) { return r->isFinished(); });
    }));
}

TEST_F(Reporting, MetricsFileDescribesEveryTaskAndIsRewrittenOnlyOnChange) {
    const QString go = repo.root() + QStringLiteral("/go");
    repo.script(QStringLiteral("ok.sh"),
                "while [ ! -e '" + go.toUtf8() + "' ]; do sleep 0.02; done\n");
    writeConfig("[general]\nmetrics_file = '" + metricsFile().toUtf8() +
                "'\n"
                "[[task]]\nname = 'Gut'\ntype = 'scheduled'\nscript = 'ok.sh'\ngroup = 'NAS'\n"
                "interval_minutes = 100000\n"
                "[[task]]\nname = 'Nie \"zitiert\" \\ x'\ntype = 'external'\nscript = 'ok.sh'\n");
    QDir().mkpath(QFileInfo(metricsFile()).path());
    auto e = makeEngine();
    EXPECT_FALSE(QFileInfo::exists(metricsFile())) << "not before the engine starts";
    EngineTestDoor::started(*e) = true;
    e->runNow(task(*e, "Gut"), false);
    ASSERT_TRUE(task(*e, "Gut")->running);
    advance(42); // the run lasts 42 s of the engine's clock
    repo.write(QStringLiteral("go"), "");
    ASSERT_TRUE(finished(*e, "Gut"));
    e->refreshLogs();
    QHash<QString, double> m = samples();
    const QDateTime success = *task(*e, "Gut")->lastRun();
    EXPECT_EQ(m.value(QStringLiteral(
                  R"(savewright_last_success_timestamp_seconds{task="Gut",group="NAS"})")),
              success.toSecsSinceEpoch());
    EXPECT_EQ(m.value(QStringLiteral(R"(savewright_status{task="Gut",status="green"})")), 1);
    EXPECT_EQ(m.value(QStringLiteral(R"(savewright_status{task="Gut",status="never"})"), -1), 0);
    EXPECT_EQ(m.value(QStringLiteral(R"(savewright_running{task="Gut"})"), -1), 0);
    const double seconds =
        m.value(QStringLiteral(R"(savewright_last_run_duration_seconds{task="Gut"})"));
    EXPECT_DOUBLE_EQ(seconds, 42.0);
    const QString odd = QStringLiteral(R"(task="Nie \"zitiert\" \\ x")");
    EXPECT_EQ(m.value(QStringLiteral("savewright_status{%1,status=\"never\"}").arg(odd)), 1);
    EXPECT_FALSE(m.contains(QStringLiteral("savewright_last_run_duration_seconds{%1}").arg(odd)));
    EXPECT_EQ(m.size(), 1 + 12 + 2 + 1) << "one success, six statuses each, running, one duration";

    // Nothing changed: the same file stays (same inode), nothing is written.
    struct stat before {
    }, after{};
    ASSERT_EQ(::stat(metricsFile().toUtf8().constData(), &before), 0);
    e->refreshLogs();
    ASSERT_EQ(::stat(metricsFile().toUtf8().constData(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
    // A change is written whole, under the same name; no temp file stays behind.
    advance(4 * 86400);
    e->refreshLogs();
    EXPECT_EQ(samples().value(QStringLiteral(R"(savewright_status{task="Gut",status="red"})")), 1);
    EXPECT_EQ(QDir(QFileInfo(metricsFile()).path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("savewright.prom")});
}

TEST_F(Reporting, AnUnwritableMetricsFileHarmsNothing) {
    writeConfig("[general]\nmetrics_file = '" + repo.root().toUtf8() +
                "/missing/folder/m.prom'\n[[task]]\nname = 'A'\ntype = 'scheduled'\nscript = "
                "'a.sh'\n");
    auto e = makeEngine();
    EngineTestDoor::started(*e) = true;
    e->refreshLogs();
    EXPECT_EQ(task(*e, "A")->status(clockNow), TaskStatus::Never);
    EXPECT_FALSE(QFileInfo::exists(repo.root() + QStringLiteral("/missing")));
    // Said on the panel until the file can be written.
    const QStringList problems = e->problems.value();
    ASSERT_EQ(problems.size(), 1);
    EXPECT_TRUE(problems[0].startsWith(QStringLiteral("metrics_file nicht schreibbar: ") +
                                       repo.root() + QStringLiteral("/missing/folder/m.prom: ")))
        << problems[0].toStdString();
    QDir().mkpath(repo.root() + QStringLiteral("/missing/folder"));
    advance(60);
    e->refreshLogs();
    EXPECT_TRUE(e->problems.value().isEmpty());
}
