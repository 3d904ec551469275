// The system services a laptop has, stood in for by python3-dbusmock's templates
// on a bus of the test's own: logind says the machine woke, NetworkManager that
// the network is back.
#include "shell/SystemWatch.h"
#include "support/Child.h"
#include "support/EngineFixture.h"
#include "support/PrivateBus.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>

#include <algorithm>

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");
const QString kMockInterface = QStringLiteral("org.freedesktop.DBus.Mock");

bool haveDbusmock() {
    return Child::run(kPython, {QStringLiteral("-c"), QStringLiteral("import dbusmock")}) == 0;
}

class SystemService {
  public:
    SystemService(const QString& busAddress, const char* name)
        : process_(kPython,
                   {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--system"),
                    QStringLiteral("--template"), QString::fromUtf8(name)},
                   ChildSetup::adding({{"DBUS_SYSTEM_BUS_ADDRESS", busAddress.toUtf8()}})) {}

  private:
    Child process_;
};

class SystemBus : public EngineFixture {
  protected:
    void SetUp() override {
        if (!haveDbusmock()) GTEST_SKIP() << "python3-dbusmock is not installed";
        ASSERT_TRUE(bus.ok());
        connection.emplace(QDBusConnection::connectToBus(bus.address, QStringLiteral("system")));
    }
    void TearDown() override { QDBusConnection::disconnectFromBus(QStringLiteral("system")); }
    // Every one of `services` on the bus, given the time python needs to start them.
    bool up(std::initializer_list<const char*> services) {
        return waitUntil(
            [&] {
                return std::all_of(services.begin(), services.end(), [&](const char* s) {
                    return connection->interface()->isServiceRegistered(QString::fromUtf8(s));
                });
            },
            15000);
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
    void setProperty(const char* service, const char* path, const char* interface, const char* name,
                     const QVariant& value) {
        QDBusMessage m = QDBusMessage::createMethodCall(
            QString::fromUtf8(service), QString::fromUtf8(path),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
        m.setArguments({QString::fromUtf8(interface), QString::fromUtf8(name),
                        QVariant::fromValue(QDBusVariant(value))});
        const QDBusMessage reply = connection->call(m);
        ASSERT_NE(reply.type(), QDBusMessage::ErrorMessage) << reply.errorMessage().toStdString();
    }
    void setOnBattery(bool on) {
        setProperty("org.freedesktop.UPower", "/org/freedesktop/UPower", "org.freedesktop.UPower",
                    "OnBattery", on);
    }
    void setCharge(double percent) {
        setProperty("org.freedesktop.UPower", "/org/freedesktop/UPower/devices/DisplayDevice",
                    "org.freedesktop.UPower.Device", "Percentage", percent);
    }
    void setMetered(uint value) {
        setProperty("org.freedesktop.NetworkManager", "/org/freedesktop/NetworkManager",
                    "org.freedesktop.NetworkManager", "Metered", value);
    }
    bool ran(Engine& e, const char* name) {
        return task(e, name)->summary.value().latestStatus == LogStatus::Success;
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
    ASSERT_TRUE(up({"org.freedesktop.login1", "org.freedesktop.NetworkManager"}));
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
    ASSERT_TRUE(waitUntil([&] { return !task(*e, "A")->running && !task(*e, "A")->probing(); }));
    EXPECT_EQ(task(*e, "A")->summary.value().latestStatus, LogStatus::Success)
        << "due: started once the network was back";

    // A wake-up with the network back already waits for nothing.
    prepareForSleep(false);
    waitUntil([] { return false; }, 300);
    EXPECT_FALSE(e->settling());
}

TEST_F(SystemBus, BatteryAndAMeteredNetworkHoldOnlyTheTasksThatSaySo) {
    SystemService power(bus.address, "upower");
    SystemService network(bus.address, "networkmanager");
    ASSERT_TRUE(up({"org.freedesktop.UPower", "org.freedesktop.NetworkManager"}));
    // NetworkManager's template knows no Metered yet.
    mockCall("org.freedesktop.NetworkManager", "/org/freedesktop/NetworkManager", "AddProperty",
             {QStringLiteral("org.freedesktop.NetworkManager"), QStringLiteral("Metered"),
              QVariant::fromValue(QDBusVariant(QVariant::fromValue(uint(1))))});
    setOnBattery(true);
    setCharge(50);
    writeConfig("[general]\non_metered = 'skip'\nmin_battery_percent = 30\n"
                "[[task]]\nname = 'Big'\ntype = 'scheduled'\nscript = 'a.sh'\n"
                "on_battery = 'skip'\non_metered = 'run'\n"
                "[[task]]\nname = 'Cloud'\ntype = 'scheduled'\nscript = 'a.sh'\n"
                "[[task]]\nname = 'Small'\ntype = 'scheduled'\nscript = 'a.sh'\n"
                "on_metered = 'run'\n");
    repo.script(QStringLiteral("a.sh"), "echo ok\n");
    auto e = makeEngine();
    const SystemWatch watch(e.get(), *connection);
    // What the services say now comes in answers of their own; a due task says so.
    const auto shown = [&](const char* name) -> std::optional<QString> {
        const auto hold = task(*e, name)->heldBy.value();
        return hold ? std::optional(hold->text) : std::nullopt;
    };
    ASSERT_TRUE(waitUntil([&] { return shown("Big") && shown("Cloud"); }));
    EXPECT_EQ(shown("Big"), QStringLiteral("Akkubetrieb"));
    EXPECT_EQ(task(*e, "Big")->heldBy.value()->key, QStringLiteral("battery"));
    EXPECT_EQ(shown("Cloud"), QStringLiteral("getaktete Verbindung"));
    EXPECT_EQ(task(*e, "Cloud")->heldBy.value()->key, QStringLiteral("metered"));
    EXPECT_EQ(shown("Small"), std::nullopt);

    e->start(); // all three never ran: due
    ASSERT_TRUE(waitUntil([&] { return ran(*e, "Small"); }));
    EXPECT_FALSE(ran(*e, "Big") || task(*e, "Big")->running);
    EXPECT_FALSE(ran(*e, "Cloud") || task(*e, "Cloud")->running);

    setCharge(20);
    ASSERT_TRUE(waitUntil([&] { return e->holdFor(*task(*e, "Small")).has_value(); }));
    EXPECT_EQ(e->holdFor(*task(*e, "Small"))->text, QStringLiteral("Akku unter 30 %"));
    EXPECT_EQ(shown("Small"), std::nullopt) << "it just ran: nothing is held back";

    setOnBattery(false); // plugged in: the charge no longer matters
    ASSERT_TRUE(waitUntil([&] { return ran(*e, "Big"); }));
    EXPECT_EQ(e->holdFor(*task(*e, "Small")), std::nullopt);
    EXPECT_FALSE(ran(*e, "Cloud"));
    setMetered(2); // NM_METERED_NO
    ASSERT_TRUE(waitUntil([&] { return ran(*e, "Cloud"); }));
}
