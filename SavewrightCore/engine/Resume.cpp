// What holds automatic starts back: a settling time after the machine wakes up
// (nothing starts by itself, nothing is announced), battery, metered networks,
// and a task's own pause; and when a task is due next.
#include "Engine.h"

#include "base/Language.h"
#include "records/RelativeTime.h"

namespace {

// The wall clock ahead of the steady one by this much between two ticks: asleep.
constexpr qint64 kSleptMs = 30'000;
// Without word from the system, how long a network takes to come back.
constexpr auto kSettleAfterJump = std::chrono::seconds(20);
// Where the settings store keeps a task's own pause.
const QString kPausePrefix = QStringLiteral("pause/");

} // namespace

void Engine::machineResumed(std::chrono::milliseconds settleAtMost) {
    resumedAt_ = currentTime();
    settleUntil_ = resumedAt_.addMSecs(settleAtMost.count());
    updateHolds();
    armTick();
}

void Engine::networkReady() {
    if (settling()) endSettling();
}

void Engine::endSettling() {
    settleUntil_.reset();
    checkVolumes();
    startReady();
    checkAttention();
}

// Called by every tick: where no system service says so, a sleep shows as wall
// time that passed while the steady clock stood still.
void Engine::watchForSleep() {
    const QDateTime wall = now;
    const qint64 steady = steadyMs();
    if (lastTick_ && lastTick_->first.msecsTo(wall) - (steady - lastTick_->second) > kSleptMs)
        machineResumed(kSettleAfterJump);
    lastTick_ = {wall, steady};
    if (settleUntil_ && wall >= *settleUntil_) endSettling();
    const bool pauseEnded =
        std::any_of(taskPauses_.cbegin(), taskPauses_.cend(),
                    [&](const QDateTime& end) { return end.isValid() && end <= wall; });
    if (pauseEnded) conditionsChanged();
}

void Engine::conditionsChanged() {
    if (started)
        startReady(); // which shows the holds first
    else
        updateHolds();
}

void Engine::setOnBattery(bool onBattery) {
    onBattery_ = onBattery;
    conditionsChanged();
}

void Engine::setBatteryPercent(double percent) {
    batteryPercent_ = percent;
    conditionsChanged();
}

void Engine::setMetered(bool metered) {
    metered_ = metered;
    conditionsChanged();
}

std::optional<Hold> Engine::holdFor(const TaskState& task) const {
    const TaskConfig& c = task.config.value();
    if (const auto until = taskPausedUntil(c.name))
        return Hold{QStringLiteral("paused"), until->isValid()
                                                  ? Language::translate("Resume", "pausiert bis %1")
                                                        .arg(RelativeTime::clock(*until, now))
                                                  : Language::translate("Resume", "pausiert")};
    if (settling())
        return Hold{QStringLiteral("resume"), Language::translate("Resume", "nach dem Aufwachen")};
    const AppConfig& general = config.value();
    if (onBattery_.value_or(false)) {
        if (c.skipOnBattery.value_or(general.skipOnBattery))
            return Hold{QStringLiteral("battery"), Language::translate("Resume", "Akkubetrieb")};
        if (general.minBatteryPercent && batteryPercent_ &&
            *batteryPercent_ < *general.minBatteryPercent)
            return Hold{
                QStringLiteral("battery-low"),
                Language::translate("Resume", "Akku unter %1 %").arg(*general.minBatteryPercent)};
    }
    if (metered_.value_or(false) && c.skipOnMetered.value_or(general.skipOnMetered))
        return Hold{QStringLiteral("metered"),
                    Language::translate("Resume", "getaktete Verbindung")};
    return std::nullopt;
}

void Engine::updateHolds() {
    const QDateTime t = now;
    for (auto it = taskPauses_.begin(); it != taskPauses_.end();) {
        if (it->isValid() && *it <= t) {
            seenStore->remove(storeKey(kPausePrefix, it.key()));
            it = taskPauses_.erase(it);
        } else {
            ++it;
        }
    }
    for (const auto& task : tasks.value()) {
        const TaskConfig& c = task->config.value();
        std::optional<Hold> hold;
        if (!observeOnly && c.type != TaskType::External && !c.hold) hold = holdFor(*task);
        // A condition is only news for a task it keeps from starting; a pause always is.
        if (hold && hold->key != u"paused" && !scheduleDue(*task)) hold.reset();
        task->heldBy = hold;
    }
}

std::optional<QDateTime> Engine::taskPausedUntil(const QString& name) const {
    const auto found = taskPauses_.constFind(name);
    if (found == taskPauses_.cend() || (found->isValid() && *found <= now.value()))
        return std::nullopt;
    return *found;
}

void Engine::pauseTask(const QString& name, const std::optional<QDateTime>& until) {
    const QDateTime end = until.value_or(QDateTime());
    taskPauses_.insert(name, end);
    seenStore->setValue(storeKey(kPausePrefix, name),
                        end.isValid() ? end.toUTC().toString(Qt::ISODateWithMs) : QString());
    updateHolds();
    armTick();
}

void Engine::resumeTask(const QString& name) {
    if (!taskPauses_.remove(name)) return;
    seenStore->remove(storeKey(kPausePrefix, name));
    conditionsChanged();
}

// Pauses kept from an earlier run of the program, for the tasks configured now.
void Engine::loadTaskPauses() {
    taskPauses_.clear();
    for (const auto& task : tasks.value()) {
        const QString name = task->config.value().name;
        const QVariant stored = seenStore->value(storeKey(kPausePrefix, name));
        if (!stored.isValid()) continue;
        const QString text = stored.toString();
        const QDateTime until = QDateTime::fromString(text, Qt::ISODate);
        if (text.isEmpty() || until.isValid()) taskPauses_.insert(name, until);
    }
}

Schedule::NextDue Engine::nextRun(const TaskState& task) const {
    const TaskConfig& c = task.config.value();
    if (c.hold) return {};
    Schedule::NextDue next =
        Schedule::nextDue(c, task.scheduleSuccess(now), now,
                          [this](const QString& v) { return volumePresentNow(v); });
    if (const auto pause = taskPausedUntil(c.name)) {
        if (!pause->isValid()) return {};
        if (next.at) next.at = std::max(*next.at, *pause);
    }
    if (const auto retry = task.retryAfter.value(); retry && next.at)
        next.at = std::max(*next.at, *retry);
    return next;
}

QDateTime Engine::tomorrowMorning(const QDateTime& now) {
    const QDateTime local = now.toLocalTime();
    return QDateTime(local.date().addDays(1), QTime(6, 0)).toUTC();
}
