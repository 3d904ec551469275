#include "ControlService.h"

#include "ControlAdaptor.h"
#include "ControlProxy.h"

#include "base/Language.h"
#include "control/StatusReport.h"

#include <QDBusConnectionInterface>
#include <QJsonDocument>

namespace {

QString compact(const QJsonObject& o) {
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

constexpr int kOwnerAnswerMs = 2000;

// Whether the name's owner is a working copy (one that does not only observe);
// an owner that does not answer counts as one.
bool ownerWorks(QDBusConnection& bus) {
    if (!bus.interface()->isServiceRegistered(ControlService::kService)) return false;
    const QDBusMessage reply = ControlService::callOwner(
        bus, kOwnerAnswerMs, [](ControlProxy& copy) { return copy.Status(); });
    const QJsonObject report = ControlService::reportIn(reply);
    return report.isEmpty() || !report.value(u"observeOnly").toBool();
}

} // namespace

QDBusMessage
ControlService::callOwner(QDBusConnection bus, int timeoutMs,
                          const std::function<QDBusPendingCall(ControlProxy&)>& method) {
    ControlProxy copy(kService, kPath, bus);
    copy.setTimeout(timeoutMs);
    QDBusPendingCall call = method(copy);
    call.waitForFinished();
    return call.reply();
}

QJsonObject ControlService::reportIn(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return QJsonDocument::fromJson(reply.arguments().constFirst().toString().toUtf8()).object();
}

ControlService::ControlService(Engine* engine, std::function<void()> showPanel, QObject* parent)
    : QObject(parent), engine_(engine), showPanel_(std::move(showPanel)),
      watch_(
          engine, this,
          [this](bool clockOnly) {
              // Clock ticks count only when a light would change (ages are not sent).
              if (!watch_.passOver(clockOnly)) statusMayHaveChanged();
          },
          EngineWatch::Shows::Lights) {
    new ControlAdaptor(this); // owned by this; publishes the interface's members
    lastSent_ = StatusReport::essentials(StatusReport::of(*engine_, QStringLiteral("live")));
    gap_.setSingleShot(true);
    gap_.setInterval(kSignalGapMs);
    connect(&gap_, &QTimer::timeout, this, [this] {
        if (!std::exchange(pending_, false)) return;
        sendIfChanged();
        gap_.start();
    });
}

bool ControlService::publish(QDBusConnection bus) {
    if (!bus.isConnected() || !bus.registerObject(kPath, this, QDBusConnection::ExportAdaptors))
        return false;
    // A working copy takes the name over from an observing one, never from
    // another working one (two with their own --support): it waits in line.
    const bool replace = !engine_->observeOnly && !ownerWorks(bus);
    const auto reply = bus.interface()->registerService(
        kService,
        replace ? QDBusConnectionInterface::ReplaceExistingService
                : QDBusConnectionInterface::QueueService,
        engine_->observeOnly ? QDBusConnectionInterface::AllowReplacement
                             : QDBusConnectionInterface::DontAllowReplacement);
    return reply.isValid() && reply.value() != QDBusConnectionInterface::ServiceNotRegistered;
}

void ControlService::statusMayHaveChanged() {
    // A flood of changes (progress of many runs) goes out as at most a few
    // signals a second, the last one always carrying the latest state.
    if (gap_.isActive()) {
        pending_ = true;
        return;
    }
    sendIfChanged();
    gap_.start();
}

void ControlService::sendIfChanged() {
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
    sendErrorReply(kRefused,
                   Language::translate("ControlService",
                                       "Diese Savewright-Kopie beobachtet nur und startet "
                                       "oder stoppt keine Tasks."));
    return true;
}

std::shared_ptr<TaskState> ControlService::actionTarget(const QString& name) {
    if (refusedHere()) return nullptr;
    for (const auto& t : engine_->tasks.value())
        if (t->id == name) return t;
    sendErrorReply(kUnknownTask,
                   Language::translate("ControlService", "Unbekannter Task: „%1“").arg(name));
    return nullptr;
}

void ControlService::start(const QString& name, bool dryRun) {
    const auto task = actionTarget(name);
    if (!task) return;
    if (task->config.value().type == TaskType::External)
        return sendErrorReply(
            kRefused,
            Language::translate("ControlService",
                                "„%1“ ist ein externer Task: Savewright beobachtet ihn nur.")
                .arg(name));
    if (const auto& hold = task->config.value().hold) return sendErrorReply(kRefused, *hold);
    if (task->isRunning() || task->probing())
        return sendErrorReply(
            kRefused, Language::translate("ControlService", "„%1“ läuft bereits.").arg(name));
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
        return sendErrorReply(
            kRefused,
            Language::translate("ControlService", "„%1“ läuft nicht in dieser Kopie.").arg(name));
    engine_->cancel(task);
}

void ControlService::Pause() {
    if (!refusedHere()) engine_->setPaused(true);
}

void ControlService::Resume() {
    if (!refusedHere()) engine_->setPaused(false);
}

void ControlService::ShowPanel() {
    if (!showPanel_)
        return sendErrorReply(kRefused,
                              Language::translate("ControlService",
                                                  "Diese Savewright-Kopie läuft ohne "
                                                  "Anzeige (--headless) und hat kein Panel."));
    showPanel_();
}
