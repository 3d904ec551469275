// The machine's conditions for automatic starts: a settling time after it wakes
// up (nothing starts by itself, nothing is announced), battery and metered networks.
#include "Engine.h"

namespace {

// The wall clock ahead of the steady one by this much between two ticks: asleep.
constexpr qint64 kSleptMs = 30'000;
// Without word from the system, how long a network takes to come back.
constexpr auto kSettleAfterJump = std::chrono::seconds(20);

} // namespace

void Engine::machineResumed(std::chrono::milliseconds settleAtMost) {
    resumedAt_ = currentTime();
    settleUntil_ = resumedAt_.addMSecs(settleAtMost.count());
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
}

void Engine::setOnBattery(bool onBattery) {
    onBattery_ = onBattery;
    if (started) startReady();
}

void Engine::setBatteryPercent(double percent) {
    batteryPercent_ = percent;
    if (started) startReady();
}

void Engine::setMetered(bool metered) {
    metered_ = metered;
    if (started) startReady();
}

std::optional<QString> Engine::heldBy(const TaskState& task) const {
    if (settling()) return QStringLiteral("nach dem Aufwachen");
    const TaskConfig& c = task.config.value();
    const AppConfig& general = config.value();
    if (onBattery_.value_or(false)) {
        if (c.skipOnBattery.value_or(general.skipOnBattery)) return QStringLiteral("Akkubetrieb");
        if (general.minBatteryPercent && batteryPercent_ &&
            *batteryPercent_ < *general.minBatteryPercent)
            return QStringLiteral("Akku unter %1 %").arg(*general.minBatteryPercent);
    }
    if (metered_.value_or(false) && c.skipOnMetered.value_or(general.skipOnMetered))
        return QStringLiteral("getaktete Verbindung");
    return std::nullopt;
}
