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
constexpr uint kFullConnectivity = 4; // NM_CONNECTIVITY_FULL
// With NetworkManager the wait ends when it reports the network back, at the latest then.
constexpr auto kSettleWithNetworkWord = std::chrono::seconds(60);
constexpr auto kSettleWithout = std::chrono::seconds(20);

} // namespace

SystemWatch::SystemWatch(Engine* engine, QDBusConnection bus, QObject* parent)
    : QObject(parent), engine_(engine), bus_(std::move(bus)) {
    bus_.connect(kLogin, QStringLiteral("/org/freedesktop/login1"),
                 QStringLiteral("org.freedesktop.login1.Manager"),
                 QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
    bus_.connect(kNetwork, kNetworkPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                 QStringLiteral("PropertiesChanged"), this,
                 SLOT(networkChanged(QString, QVariantMap, QStringList)));
}

void SystemWatch::prepareForSleep(bool sleeping) {
    if (sleeping) return;
    const bool network = bus_.interface() && bus_.interface()->isServiceRegistered(kNetwork);
    engine_->machineResumed(network ? kSettleWithNetworkWord : kSettleWithout);
    // The network may be back already, before anyone says it changed.
    if (network) askConnectivity();
}

void SystemWatch::networkChanged(const QString& interface, const QVariantMap& changed,
                                 const QStringList&) {
    if (interface != kNetwork) return;
    const auto found = changed.constFind(QStringLiteral("Connectivity"));
    if (found != changed.cend() && found->toUInt() == kFullConnectivity) engine_->networkReady();
}

void SystemWatch::askConnectivity() {
    QDBusMessage get = QDBusMessage::createMethodCall(
        kNetwork, kNetworkPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << kNetwork << QStringLiteral("Connectivity");
    auto* call = new QDBusPendingCallWatcher(bus_.asyncCall(get), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<QDBusVariant> reply = *w;
        if (!reply.isError() && reply.value().variant().toUInt() == kFullConnectivity)
            engine_->networkReady();
        w->deleteLater();
    });
}
