#include "SystemWatch.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace {

const QString kLogin = QStringLiteral("org.freedesktop.login1");
const QString kNetwork = QStringLiteral("org.freedesktop.NetworkManager");
const QString kNetworkPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString kPower = QStringLiteral("org.freedesktop.UPower");
const QString kPowerPath = QStringLiteral("/org/freedesktop/UPower");
const QString kPowerDevice = QStringLiteral("org.freedesktop.UPower.Device");
const QString kDisplayDevice = QStringLiteral("/org/freedesktop/UPower/devices/DisplayDevice");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
constexpr uint kFullConnectivity = 4;           // NM_CONNECTIVITY_FULL
constexpr uint kMetered = 1, kGuessMetered = 3; // NM_METERED_YES, NM_METERED_GUESS_YES
// With NetworkManager the wait ends when it reports the network back, at the latest then.
constexpr auto kSettleWithNetworkWord = std::chrono::seconds(60);
constexpr auto kSettleWithout = std::chrono::seconds(20);

} // namespace

SystemWatch::SystemWatch(Engine* engine, QDBusConnection bus, QObject* parent)
    : QObject(parent), engine_(engine), bus_(std::move(bus)) {
    bus_.connect(kLogin, QStringLiteral("/org/freedesktop/login1"),
                 QStringLiteral("org.freedesktop.login1.Manager"),
                 QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
    watch(kNetwork, kNetworkPath);
    watch(kPower, kPowerPath);
    watch(kPower, kDisplayDevice);
    ask(kNetwork, kNetworkPath, kNetwork, QStringLiteral("Metered"));
    ask(kPower, kPowerPath, kPower, QStringLiteral("OnBattery"));
    ask(kPower, kDisplayDevice, kPowerDevice, QStringLiteral("Percentage"));
}

void SystemWatch::watch(const QString& service, const QString& path) {
    bus_.connect(service, path, kProperties, QStringLiteral("PropertiesChanged"), this,
                 SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
}

void SystemWatch::prepareForSleep(bool sleeping) {
    if (sleeping) return;
    const bool network = bus_.interface() && bus_.interface()->isServiceRegistered(kNetwork);
    engine_->machineResumed(network ? kSettleWithNetworkWord : kSettleWithout);
    // The network may be back already, before anyone says it changed.
    if (network) ask(kNetwork, kNetworkPath, kNetwork, QStringLiteral("Connectivity"));
}

void SystemWatch::propertiesChanged(const QString& interface, const QVariantMap& changed,
                                    const QStringList&) {
    for (auto it = changed.cbegin(); it != changed.cend(); ++it)
        take(interface, it.key(), it.value());
}

void SystemWatch::ask(const QString& service, const QString& path, const QString& interface,
                      const QString& property) {
    QDBusMessage get =
        QDBusMessage::createMethodCall(service, path, kProperties, QStringLiteral("Get"));
    get << interface << property;
    auto* call = new QDBusPendingCallWatcher(bus_.asyncCall(get), this);
    connect(call, &QDBusPendingCallWatcher::finished, this,
            [this, interface, property](QDBusPendingCallWatcher* w) {
                const QDBusPendingReply<QDBusVariant> reply = *w;
                if (!reply.isError()) take(interface, property, reply.value().variant());
                w->deleteLater();
            });
}

void SystemWatch::take(const QString& interface, const QString& property, const QVariant& value) {
    if (interface == kNetwork && property == u"Connectivity") {
        if (value.toUInt() == kFullConnectivity) engine_->networkReady();
    } else if (interface == kNetwork && property == u"Metered") {
        engine_->setMetered(value.toUInt() == kMetered || value.toUInt() == kGuessMetered);
    } else if (interface == kPower && property == u"OnBattery") {
        engine_->setOnBattery(value.toBool());
    } else if (interface == kPowerDevice && property == u"Percentage") {
        engine_->setBatteryPercent(value.toDouble());
    }
}
