#pragma once
// What the system bus says about the machine, passed to the engine: a wake-up
// from logind's PrepareForSleep, and NetworkManager reporting full connectivity
// again. Watched by signals only; an absent service is simply never heard from.

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
    void networkChanged(const QString& interface, const QVariantMap& changed,
                        const QStringList& invalidated);

  private:
    void askConnectivity();
    Engine* engine_;
    QDBusConnection bus_;
};
