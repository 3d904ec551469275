// The system services a laptop has, stood in for by python3-dbusmock's templates
// on a bus of the test's own: logind says the machine woke, NetworkManager that
// the network is back.
#include "SystemWatch.h"
#include "support/EngineFixture.h"
#include "support/PrivateBus.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");
const QString kMockInterface = QStringLiteral("org.freedesktop.DBus.Mock");

bool haveDbusmock() {
    QProcess p;
    p.start(kPython, {QStringLiteral("-c"), QStringLiteral("import dbusmock")});
    return p.waitForFinished() && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

class SystemService {
  public:
    SystemService(const QString& busAddress, const char* name) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), busAddress);
        process_.setProcessEnvironment(env);
        process_.start(kPython, {QStringLiteral("-m"), QStringLiteral("dbusmock"),
                                 QStringLiteral("--system"), QStringLiteral("--template"),
                                 QString::fromUtf8(name)});
    }
    ~SystemService() {
        process_.kill();
        process_.waitForFinished();
    }

  private:
    QProcess process_;
};

class SystemBus : public EngineFixture {
  protected:
    void SetUp() override {
        if (!haveDbusmock()) GTEST_SKIP() << "python3-dbusmock is not installed";
        ASSERT_TRUE(bus.ok());
        connection.emplace(QDBusConnection::connectToBus(bus.address, QStringLiteral("system")));
    }
    void TearDown() override { QDBusConnection::disconnectFromBus(QStringLiteral("system")); }
    bool registered(const char* service) {
        return connection->interface()->isServiceRegistered(QString::fromUtf8(service));
    }
    void mockCall(const char* service, const char* path, const char* method,
                  const QVariantList& arguments) {
        QDBusMessage m =
            QDBusMessage::createMethodCall(QString::fromUtf8(service), QString::fromUtf8(path),
                                           kMockInterface, QString::fromUtf8(method));
        m.setArguments(arguments);
        const QDBusMessage reply = connection->call(m);
        ASSERT_NE(reply.type(), QDBusMessage::ErrorMessage) << reply.errorMessage().toStdString();
    }
    void prepareForSleep(bool sleeping) {
        mockCall("org.freedesktop.login1", "/org/freedesktop/login1", "EmitSignal",
                 {QStringLiteral("org.freedesktop.login1.Manager"),
                  QStringLiteral("PrepareForSleep"), QStringLiteral("b"),
                  QVariantList{QVariant::fromValue(QDBusVariant(sleeping))}});
    }
    void setConnectivity(uint value) {
        mockCall("org.freedesktop.NetworkManager", "/org/freedesktop/NetworkManager",
                 "SetConnectivity", {QVariant::fromValue(value)});
    }
    PrivateBus bus;
    std::optional<QDBusConnection> connection;
};

} // namespace

TEST_F(SystemBus, AWakeUpFromLogindWaitsUntilNetworkManagerHasTheNetworkBack) {
    SystemService logind(bus.address, "logind");
    SystemService network(bus.address, "networkmanager");
    ASSERT_TRUE(waitUntil(
        [&] {
            return registered("org.freedesktop.login1") &&
                   registered("org.freedesktop.NetworkManager");
        },
        15000));
    setConnectivity(2); // limited: Wi-Fi up, no way out yet
    writeConfig("[[task]]\nname = 'A'\ntype = 'scheduled'\nscript = 'a.sh'\n");
    repo.script(QStringLiteral("a.sh"), "echo ok\n");
    writeLog("A", clockNow.addSecs(-3600), "SUCCESS");
    auto e = makeEngine();
    const SystemWatch watch(e.get(), *connection);

    prepareForSleep(true);
    prepareForSleep(false);
    ASSERT_TRUE(waitUntil([&] { return e->settling(); }));
    waitUntil([] { return false; }, 300); // the answer to "is the network back?" comes
    EXPECT_TRUE(e->settling()) << "limited connectivity is not the network back";
    e->startReady();
    EXPECT_FALSE(task(*e, "A")->running) << "due, but the network is not back";

    setConnectivity(4);
    ASSERT_TRUE(waitUntil([&] { return !e->settling(); }));
    ASSERT_TRUE(waitUntil([&] { return !task(*e, "A")->running && !task(*e, "A")->probing; }));
    EXPECT_EQ(task(*e, "A")->summary.value().latestStatus, QStringLiteral("SUCCESS"))
        << "due: started once the network was back";

    // A wake-up with the network back already waits for nothing.
    prepareForSleep(false);
    waitUntil([] { return false; }, 300);
    EXPECT_FALSE(e->settling());
}
