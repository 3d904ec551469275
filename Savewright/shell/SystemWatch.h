#pragma once
// What the system bus says about the machine, passed to the engine: a wake-up
// (logind's PrepareForSleep), the network back and whether it is metered
// (NetworkManager), running on battery and its charge (UPower). Watched by
// signals only; an absent service is simply never heard from.

#include "engine/Engine.h"

#include <QDBusConnection>
#include <QObject>
#include <QVariantMap>

class SystemWatch : public QObject {
    Q_OBJECT
  public:
    SystemWatch(Engine* engine, QDBusConnection bus, QObject* parent = nullptr);

  private slots:
    void prepareForSleep(bool sleeping);
    void propertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList& invalidated);

  private:
    void watch(const QString& service, const QString& path);
    void ask(const QString& service, const QString& path, const QString& interface,
             const QString& property);
    void take(const QString& interface, const QString& property, const QVariant& value);
    Engine* engine_;
    QDBusConnection bus_;
};
