#include "ControlService.h"

#include "StatusReport.h"

#include <QDBusConnectionInterface>
#include <QJsonDocument>

namespace {

QString compact(const QJsonObject& o) {
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

} // namespace

ControlService::ControlService(Engine* engine, std::function<void()> showPanel, QObject* parent)
    : QObject(parent), engine_(engine), showPanel_(std::move(showPanel)),
      watch_(engine, this, [this](bool clockOnly) {
          // Clock ticks count only when a light or an age shown would change.
          if (!watch_.passOver(clockOnly)) statusMayHaveChanged();
      }) {
    lastSent_ = StatusReport::essentials(StatusReport::of(*engine_, QStringLiteral("live")));
}

bool ControlService::publish(QDBusConnection bus) {
    if (!bus.isConnected() || !bus.registerObject(kPath, this,
                                                  QDBusConnection::ExportScriptableSlots |
                                                      QDBusConnection::ExportScriptableSignals))
        return false;
    const auto reply = bus.interface()->registerService(
        kService,
        engine_->observeOnly ? QDBusConnectionInterface::QueueService
                             : QDBusConnectionInterface::ReplaceExistingService,
        engine_->observeOnly ? QDBusConnectionInterface::AllowReplacement
                             : QDBusConnectionInterface::DontAllowReplacement);
    return reply.isValid() && reply.value() != QDBusConnectionInterface::ServiceNotRegistered;
}

void ControlService::statusMayHaveChanged() {
    const QJsonObject report = StatusReport::of(*engine_, QStringLiteral("live"));
    const QJsonObject essentials = StatusReport::essentials(report);
    if (essentials == lastSent_) return;
    lastSent_ = essentials;
    Q_EMIT StatusChanged(compact(report));
}

QString ControlService::Status() {
    return compact(StatusReport::of(*engine_, QStringLiteral("live")));
}

bool ControlService::refusedHere() {
    if (!engine_->observeOnly) return false;
    sendErrorReply(kRefused, QStringLiteral("Diese Savewright-Kopie beobachtet nur und startet "
                                            "oder stoppt keine Tasks."));
    return true;
}

std::shared_ptr<TaskState> ControlService::actionTarget(const QString& name) {
    if (refusedHere()) return nullptr;
    for (const auto& t : engine_->tasks.value())
        if (t->id == name) return t;
    sendErrorReply(kUnknownTask, QStringLiteral("Unbekannter Task: „%1“").arg(name));
    return nullptr;
}

void ControlService::start(const QString& name, bool dryRun) {
    const auto task = actionTarget(name);
    if (!task) return;
    if (task->config.value().type == TaskType::External)
        return sendErrorReply(
            kRefused,
            QStringLiteral("„%1“ ist ein externer Task: Savewright beobachtet ihn nur.").arg(name));
    if (const auto& hold = task->config.value().hold) return sendErrorReply(kRefused, *hold);
    if (task->isRunning() || task->probing)
        return sendErrorReply(kRefused, QStringLiteral("„%1“ läuft bereits.").arg(name));
    engine_->runNow(task, dryRun);
}

void ControlService::Run(const QString& name) {
    start(name, false);
}

void ControlService::DryRun(const QString& name) {
    start(name, true);
}

void ControlService::Stop(const QString& name) {
    const auto task = actionTarget(name);
    if (!task) return;
    if (!task->running)
        return sendErrorReply(kRefused,
                              QStringLiteral("„%1“ läuft nicht in dieser Kopie.").arg(name));
    engine_->cancel(task);
}

void ControlService::Pause() {
    if (!refusedHere()) engine_->paused = true;
}

void ControlService::Resume() {
    if (!refusedHere()) engine_->paused = false;
}

void ControlService::ShowPanel() {
    if (!showPanel_)
        return sendErrorReply(kRefused, QStringLiteral("Diese Savewright-Kopie läuft ohne "
                                                       "Anzeige (--headless) und hat kein Panel."));
    showPanel_();
}
