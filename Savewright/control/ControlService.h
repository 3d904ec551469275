#pragma once
// The running copy's door on the session bus: status, starting, stopping and
// pausing tasks, showing the panel, and a signal when the status changes.
// Every method answers at once from what the engine holds.

#include "engine/Engine.h"
#include "model/EngineWatch.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusPendingCall>
#include <QJsonObject>
#include <QObject>
#include <QTimer>

#include <functional>

class ControlProxy;

class ControlService : public QObject, protected QDBusContext {
    Q_OBJECT
  public:
    static inline const QString kService = QStringLiteral("org.savewright.Savewright");
    static inline const QString kPath = QStringLiteral("/org/savewright/Savewright");
    static inline const QString kRefused = QStringLiteral("org.savewright.Savewright1.Refused");
    static inline const QString kUnknownTask =
        QStringLiteral("org.savewright.Savewright1.UnknownTask");

    // Calls the copy that owns the name on `bus` through the proxy made from
    // the interface file, waiting at most `timeoutMs`; the reply or the error.
    static QDBusMessage callOwner(QDBusConnection bus, int timeoutMs,
                                  const std::function<QDBusPendingCall(ControlProxy&)>& method);
    // The report a reply to Status carries; empty when it is no such reply.
    static QJsonObject reportIn(const QDBusMessage& reply);

    // Without `showPanel` (a copy without a display) ShowPanel is refused.
    ControlService(Engine* engine, std::function<void()> showPanel, QObject* parent = nullptr);
    // Publishes the object and takes the name; a working copy takes it over from
    // an observing one, never the other way round. False when the bus refuses.
    bool publish(QDBusConnection bus);

    // The members of org.savewright.Savewright1.xml, called through its adaptor.
    QString Status();
    void Run(const QString& name);
    void DryRun(const QString& name);
    void Stop(const QString& name);
    void Pause();
    void Resume();
    void ShowPanel();

  Q_SIGNALS:
    void StatusChanged(const QString& status);

  private:
    // The named task when this copy may act on it; otherwise the error is sent.
    std::shared_ptr<TaskState> actionTarget(const QString& name);
    bool refusedHere();
    void start(const QString& name, bool dryRun);
    void statusMayHaveChanged();
    void sendIfChanged();

    Engine* engine_;
    std::function<void()> showPanel_;
    EngineWatch watch_;
    QJsonObject lastSent_;
    static constexpr int kSignalGapMs = 250;
    QTimer gap_;           // after a signal, the next waits this long
    bool pending_ = false; // something changed meanwhile
};
