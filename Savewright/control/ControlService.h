#pragma once
// The running copy's door on the session bus: status, starting, stopping and
// pausing tasks, showing the panel, and a signal when the status changes.
// Every method answers at once from what the engine holds.

#include "engine/Engine.h"
#include "model/EngineWatch.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QJsonObject>
#include <QObject>
#include <QTimer>

#include <functional>

class ControlService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.savewright.Savewright1")
  public:
    static inline const QString kService = QStringLiteral("org.savewright.Savewright");
    static inline const QString kPath = QStringLiteral("/org/savewright/Savewright");
    static inline const QString kInterface = QStringLiteral("org.savewright.Savewright1");
    static inline const QString kRefused = QStringLiteral("org.savewright.Savewright1.Refused");
    static inline const QString kUnknownTask =
        QStringLiteral("org.savewright.Savewright1.UnknownTask");

    // Without `showPanel` (a copy without a display) ShowPanel is refused.
    ControlService(Engine* engine, std::function<void()> showPanel, QObject* parent = nullptr);
    // Publishes the object and takes the name; a working copy takes it over from
    // an observing one, never the other way round. False when the bus refuses.
    bool publish(QDBusConnection bus);

  public Q_SLOTS:
    Q_SCRIPTABLE QString Status();
    Q_SCRIPTABLE void Run(const QString& name);
    Q_SCRIPTABLE void DryRun(const QString& name);
    Q_SCRIPTABLE void Stop(const QString& name);
    Q_SCRIPTABLE void Pause();
    Q_SCRIPTABLE void Resume();
    Q_SCRIPTABLE void ShowPanel();

  Q_SIGNALS:
    Q_SCRIPTABLE void StatusChanged(const QString& status);

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
