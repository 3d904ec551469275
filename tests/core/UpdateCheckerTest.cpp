#include "update/UpdateChecker.h"
#include "support/EngineFixture.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

// A one-route HTTP server on 127.0.0.1 whose answer the test sets.
class FeedServer {
  public:
    FeedServer() {
        server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            QTcpSocket* s = server_.nextPendingConnection();
            QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
                request += s->readAll();
                if (!request.contains("\r\n\r\n") || silent) return;
                if (drip) return startDrip(s);
                s->write(response);
                s->disconnectFromHost();
            });
        });
    }
    QString url() const {
        return QStringLiteral("http://127.0.0.1:%1/feed.json").arg(server_.serverPort());
    }
    void answer(int status, const QByteArray& body, const QByteArray& extra = {}) {
        response = "HTTP/1.1 " + QByteArray::number(status) +
                   " X\r\nContent-Type: application/json\r\n" + extra +
                   "Content-Length: " + QByteArray::number(body.size()) +
                   "\r\nConnection: close\r\n\r\n" + body;
    }
    // The header at once, then one byte of a long body every 100 ms.
    void startDrip(QTcpSocket* s) {
        s->write("HTTP/1.1 200 X\r\nContent-Length: 100000\r\nConnection: close\r\n\r\n{");
        auto* timer = new QTimer(s);
        QObject::connect(timer, &QTimer::timeout, s, [s] { s->write(" "); });
        timer->start(100);
    }
    QByteArray request, response;
    bool silent = false, drip = false;

  private:
    QTcpServer server_;
};

std::optional<std::optional<UpdateInfo>> fetch(const QString& url, int timeoutMs = 10000) {
    std::optional<std::optional<UpdateInfo>> got;
    UpdateChecker::fetch(
        url, [&](std::optional<UpdateInfo> info) { got = info; }, timeoutMs);
    waitUntil([&] { return got.has_value(); }, 15000);
    return got;
}

const QByteArray kRecord =
    R"({"version":"2.1.0","url":"https://example.invalid/s.deb","notes":"Neu"})";

} // namespace

TEST(UpdateChecker, VersionComparison) {
    EXPECT_TRUE(UpdateChecker::isNewer(QStringLiteral("v1.10"), QStringLiteral("1.9")));
    EXPECT_FALSE(UpdateChecker::isNewer(QStringLiteral("1.2"), QStringLiteral("1.2.0")));
    EXPECT_FALSE(UpdateChecker::isNewer(QStringLiteral("1.4.0"), QStringLiteral("1.4")));
    EXPECT_TRUE(UpdateChecker::isNewer(QStringLiteral("V2"), QStringLiteral("1.9.9")));
    EXPECT_FALSE(UpdateChecker::isNewer(QStringLiteral("2.0-beta"), QStringLiteral("2.0")));
    EXPECT_TRUE(UpdateChecker::isNewer(QStringLiteral("1..3"), QStringLiteral("1.2")));
    EXPECT_TRUE(UpdateChecker::isNewer(QStringLiteral("0.1"), QStringLiteral("0")));
    EXPECT_FALSE(UpdateChecker::isNewer(QStringLiteral("rc1"), QStringLiteral("0")));
    EXPECT_FALSE(
        UpdateChecker::isNewer(QStringLiteral("99999999999999999999"), QStringLiteral("1")));
}

TEST(UpdateChecker, StrictRecordDecoding) {
    EXPECT_EQ(UpdateChecker::decode(kRecord),
              (UpdateInfo{QStringLiteral("2.1.0"), QStringLiteral("https://example.invalid/s.deb"),
                          QStringLiteral("Neu")}));
    EXPECT_FALSE(UpdateChecker::decode(R"({"version":"2","url":"https://x","notes":null})")->notes);
    for (const char* bad :
         {R"({"version":2,"url":"https://x"})", R"({"version":"2"})",
          R"({"version":"2","url":"file:///etc/passwd"})", R"({"version":"2","url":"Https://x"})",
          R"({"version":"2","url":"https://x","notes":3})", R"(["version"])",
          "{\"version\":\"\xff\",\"url\":\"https://x\"}"})
        EXPECT_FALSE(UpdateChecker::decode(bad)) << bad;
}

TEST(UpdateChecker, FeedOverRealHttp) {
    FeedServer feed;
    feed.answer(200, kRecord);
    const auto ok = fetch(feed.url());
    ASSERT_TRUE(ok && *ok);
    EXPECT_EQ((*ok)->version, u"2.1.0");
    EXPECT_TRUE(feed.request.contains("User-Agent: Savewright/" +
                                      UpdateChecker::currentVersion().toUtf8()));
    for (int status : {304, 500}) {
        feed.answer(status, kRecord);
        EXPECT_FALSE(*fetch(feed.url())) << status;
    }
    feed.answer(302, "", "Location: http://127.0.0.1:1/feed.json\r\n");
    EXPECT_FALSE(*fetch(feed.url())) << "a redirect to nowhere";
    feed.answer(200, "{not json");
    EXPECT_FALSE(*fetch(feed.url()));
    feed.answer(200, "{\"version\":\"9\",\"url\":\"https://x\",\"pad\":\"" +
                         QByteArray(3 << 20, 'p') + "\"}");
    EXPECT_FALSE(*fetch(feed.url())) << "megabytes are not read to their end";
    QByteArray chunked =
        "HTTP/1.1 200 X\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
    for (int i = 0; i < 128; ++i)
        chunked += "10000\r\n" + QByteArray(0x10000, 'c') + "\r\n";
    feed.response = chunked + "0\r\n\r\n";
    EXPECT_FALSE(*fetch(feed.url())) << "8 MiB without a length are not read to their end";
    feed.drip = true;
    const auto dripped = fetch(feed.url(), 500);
    ASSERT_TRUE(dripped) << "a byte every 100 ms does not keep the request open";
    EXPECT_FALSE(*dripped);
    feed.drip = false;
    feed.silent = true;
    EXPECT_FALSE(*fetch(feed.url(), 300)) << "a silent server times out";
    EXPECT_FALSE(*fetch(QStringLiteral("ftp://127.0.0.1/feed.json")));
}

TEST(UpdateChecker, MovedFeedsAreFollowedAFewTimes) {
    FeedServer moved, feed;
    feed.answer(200, kRecord);
    moved.answer(301, "", "Location: " + feed.url().toUtf8() + "\r\n");
    const auto got = fetch(moved.url());
    ASSERT_TRUE(got && *got) << "a moved feed is followed";
    EXPECT_EQ((*got)->version, u"2.1.0");
    // A feed that keeps sending itself elsewhere gives up.
    FeedServer loop;
    loop.answer(302, "", "Location: " + loop.url().toUtf8() + "\r\n");
    EXPECT_FALSE(*fetch(loop.url()));
    // The last answer must still be a 200.
    moved.answer(302, "", "Location: " + loop.url().toUtf8() + "\r\n");
    loop.answer(404, kRecord);
    EXPECT_FALSE(*fetch(moved.url()));
}

TEST_F(EngineFixture, UpdateAnnouncedOncePerVersion) {
    writeConfig("[general]\nupdate_url = 'https://feed.invalid/x.json'\n");
    std::optional<UpdateInfo> served = UpdateChecker::decode(kRecord);
    QStringList fetched;
    QList<UpdateInfo> announced;
    auto prepare = [&](Engine& e) {
        e.currentVersion = QStringLiteral("2.0");
        e.fetchUpdate = [&](const QString& url, UpdateChecker::Delivery deliver) {
            fetched.append(url);
            deliver(served);
        };
        e.onUpdateAvailable = [&](const UpdateInfo& info) { announced.append(info); };
    };
    auto e = makeEngine();
    prepare(*e);
    e->checkForUpdate();
    ASSERT_TRUE(waitUntil([&] { return e->availableUpdate.value().has_value(); }));
    e->checkForUpdate();
    QCoreApplication::processEvents();
    EXPECT_EQ(announced.size(), 1);
    auto restarted = makeEngine();
    prepare(*restarted);
    restarted->checkForUpdate();
    ASSERT_TRUE(waitUntil([&] { return restarted->availableUpdate.value().has_value(); }));
    EXPECT_EQ(announced.size(), 1) << "not again after a restart";
    served->version = QStringLiteral("2.0.0");
    restarted->checkForUpdate();
    ASSERT_TRUE(waitUntil([&] { return !restarted->availableUpdate.value().has_value(); }));
    EXPECT_EQ(fetched.size(), 4);
    writeConfig("[general]\nupdate_url = ''\n");
    restarted->reloadConfig();
    restarted->checkForUpdate();
    EXPECT_EQ(fetched.size(), 4) << "no address: no request";
}
