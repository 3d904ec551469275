// Notifications against a notification server on a private session bus.
#include "notify/Notifier.h"
#include "shell/Files.h"
#include "support/EventLoop.h"
#include "support/PrivateBus.h"
#include "support/TempRepo.h"

#include <QDBusConnection>
#include <QDBusMessage>

#include <gtest/gtest.h>

namespace {

class FakeServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
  public:
    struct Call {
        QString summary, body;
        QStringList actions;
        uint replaces;
        QVariantMap hints;
    };
    QStringList capabilities{QStringLiteral("actions"), QStringLiteral("body-markup")};
    QList<Call> calls;

  public slots:
    QStringList GetCapabilities() { return capabilities; }
    uint Notify(const QString&, uint replaces, const QString&, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int) {
        calls.append({summary, body, actions, replaces, hints});
        return static_cast<uint>(100 + calls.size());
    }
};

class Bus : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(bus.ok());
        address = bus.address;
        QDBusConnection server = QDBusConnection::connectToBus(address, QStringLiteral("server"));
        ASSERT_TRUE(server.isConnected());
        ASSERT_TRUE(server.registerService(QStringLiteral("org.freedesktop.Notifications")));
        ASSERT_TRUE(server.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &fake,
                                          QDBusConnection::ExportAllSlots));
        Files::setOpener([this](const QUrl& url) { opened.append(url); });
    }
    void TearDown() override {
        Files::setOpener([](const QUrl&) {});
        QDBusConnection::disconnectFromBus(QStringLiteral("server"));
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
    }
    QDBusConnection client() {
        return QDBusConnection::connectToBus(address, QStringLiteral("client"));
    }
    void click(uint id, const QString& key = QStringLiteral("default")) {
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("ActionInvoked"));
        signal << id << key;
        QDBusConnection(QStringLiteral("server")).send(signal);
    }

    PrivateBus bus;
    QString address;
    FakeServer fake;
    QList<QUrl> opened;
};

} // namespace

TEST(NotifierContent, TitlesBodiesAndUserInfo) {
    const auto weekly =
        Notifier::deletionContent({QStringLiteral("w1"), QStringLiteral("woche"), QString()},
                                  QStringLiteral("/l/Löschbericht.html"));
    EXPECT_EQ(weekly.title, u"Löschbericht");
    EXPECT_EQ(weekly.body, u"w1 – Klick zum Öffnen");
    EXPECT_EQ(weekly.identifier, u"w1");
    EXPECT_EQ(weekly.userInfo.value(QStringLiteral("anchor")), QStringLiteral("w1"));
    const auto guard = Notifier::deletionContent(
        {QStringLiteral("g1"), QStringLiteral("schutz"), QStringLiteral("3 Dateien")},
        QStringLiteral("/p"));
    EXPECT_EQ(guard.title, u"Löschschutz");
    EXPECT_EQ(guard.body, u"g1 · 3 Dateien");
    const auto update = Notifier::updateContent(
        {QStringLiteral("2.0"), QStringLiteral("https://x/d"), std::nullopt},
        QStringLiteral("1.0"));
    EXPECT_EQ(update.identifier, u"update-2.0");
    EXPECT_EQ(update.title, u"Savewright 2.0 verfügbar");
    EXPECT_EQ(update.body, u"Klick zum Herunterladen (installiert: 1.0)");
    EXPECT_EQ(update.userInfo.value(QStringLiteral("download")), QStringLiteral("https://x/d"));
}

TEST_F(Bus, PostsEscapedAndOpensTheReportAtItsEntry) {
    TempRepo repo;
    const QString page = repo.write(QStringLiteral("logs/Löschbericht.html"), "<html>");
    Notifier notifier(client());
    notifier.setUp();
    // Posted before the server said what it supports: held until it has.
    notifier.deletionEvent(
        {QStringLiteral("a b#1"), QStringLiteral("schutz"), QStringLiteral("<b>x</b> & y")}, page);
    ASSERT_TRUE(waitUntil([&] { return fake.calls.size() == 1; }));
    EXPECT_EQ(fake.calls[0].summary, u"Löschschutz");
    EXPECT_EQ(fake.calls[0].body, u"a b#1 · &lt;b&gt;x&lt;/b&gt; &amp; y")
        << "script text is never markup";
    EXPECT_EQ(fake.calls[0].actions,
              QStringList({QStringLiteral("default"), QStringLiteral("Öffnen")}));
    waitUntil([&] { return false; }, 100); // the reply with the server's id
    click(101);
    ASSERT_TRUE(waitUntil([&] { return !opened.isEmpty(); }));
    const QString redirect = repo.root() + QStringLiteral("/logs/Löschbericht-öffnen.html");
    EXPECT_EQ(opened[0].toLocalFile(), redirect);
    EXPECT_TRUE(TempRepo::read(redirect).contains("url=L%C3%B6schbericht.html#a%20b%231'"));

    notifier.updateAvailable({QStringLiteral("9.0"), QStringLiteral("https://example.invalid/get"),
                              QStringLiteral("Neu")});
    ASSERT_TRUE(waitUntil([&] { return fake.calls.size() == 2; }));
    waitUntil([&] { return false; }, 100);
    click(102);
    ASSERT_TRUE(waitUntil([&] { return opened.size() == 2; }));
    EXPECT_EQ(opened[1], QUrl(QStringLiteral("https://example.invalid/get")));
    // The same identifier again replaces its notification.
    notifier.updateAvailable(
        {QStringLiteral("9.0"), QStringLiteral("https://example.invalid/get"), std::nullopt});
    ASSERT_TRUE(waitUntil([&] { return fake.calls.size() == 3; }));
    EXPECT_EQ(fake.calls[2].replaces, 102u);
}

TEST_F(Bus, PlainNotificationWithoutActionsOrMarkup) {
    fake.capabilities = {QStringLiteral("body")};
    Notifier notifier(client());
    notifier.setUp();
    waitUntil([&] { return false; }, 200);
    notifier.deletionEvent({QStringLiteral("id"), QStringLiteral("woche"), QStringLiteral("a < b")},
                           QStringLiteral("/x"));
    ASSERT_TRUE(waitUntil([&] { return fake.calls.size() == 1; }));
    EXPECT_TRUE(fake.calls[0].actions.isEmpty());
    EXPECT_EQ(fake.calls[0].body, u"id · a < b");
}

TEST_F(Bus, TaskAlertsCarryTheirActions) {
    Notifier notifier(client());
    notifier.setUp();
    QStringList asked;
    QObject::connect(
        &notifier, &Notifier::taskAction, &notifier,
        [&](const QString& task, const QString& key) { asked.append(task + u':' + key); });
    notifier.alert({Alert::Kind::Failed, QStringLiteral("Fotos"), QStringLiteral("Fotos: Fehler"),
                    QStringLiteral("rsync error"),
                    QStringLiteral("/l/2026-01-01_00-00-00_Fotos.log")});
    ASSERT_TRUE(waitUntil([&] { return fake.calls.size() == 1; }));
    EXPECT_EQ(fake.calls[0].summary, u"Fotos: Fehler");
    // One way to open the log: the click ("Öffnen"), no second button doing the same.
    EXPECT_EQ(fake.calls[0].actions,
              QStringList({QStringLiteral("default"), QStringLiteral("Öffnen"),
                           QStringLiteral("start"), QStringLiteral("Starten")}));
    EXPECT_FALSE(fake.calls[0].hints.contains(QStringLiteral("suppress-sound")));
    waitUntil([&] { return false; }, 100);
    click(101);
    ASSERT_TRUE(waitUntil([&] { return !opened.isEmpty(); }));
    EXPECT_EQ(opened[0].toLocalFile(), u"/l/2026-01-01_00-00-00_Fotos.log");
    click(101, QStringLiteral("start"));
    ASSERT_TRUE(waitUntil([&] { return !asked.isEmpty(); }));
    EXPECT_EQ(asked, QStringList{QStringLiteral("Fotos:start")});

    notifier.alert({Alert::Kind::Recovered, QStringLiteral("Fotos"),
                    QStringLiteral("Fotos: wieder ok"), QStringLiteral("Sicherung erfolgreich"),
                    std::nullopt});
    ASSERT_TRUE(waitUntil([&] { return fake.calls.size() == 2; }));
    EXPECT_EQ(fake.calls[1].hints.value(QStringLiteral("suppress-sound")), QVariant(true))
        << "without sound";
    const auto hung = Notifier::alertContent({Alert::Kind::Hung, QStringLiteral("H"),
                                              QStringLiteral("H läuft seit 95 Min."), QString(),
                                              QStringLiteral("/l/h.log")});
    EXPECT_EQ(hung.actions, (QList<std::pair<QString, QString>>{
                                {QStringLiteral("stop"), QStringLiteral("Stoppen")}}));
}

TEST_F(Bus, ClickingTheSummaryOpensThePanel) {
    Notifier notifier(client());
    notifier.setUp();
    int panels = 0;
    QObject::connect(&notifier, &Notifier::showPanel, &notifier, [&] { ++panels; });
    notifier.alert({Alert::Kind::Summary, QString(),
                    QStringLiteral("2 Tasks brauchen Aufmerksamkeit"), QStringLiteral("A, B"),
                    std::nullopt});
    ASSERT_TRUE(waitUntil([&] { return fake.calls.size() == 1; }));
    waitUntil([&] { return false; }, 100);
    click(101);
    ASSERT_TRUE(waitUntil([&] { return panels == 1; }));
    EXPECT_TRUE(opened.isEmpty());
}

#include "NotifierTest.moc"
