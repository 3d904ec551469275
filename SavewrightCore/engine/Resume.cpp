// After the machine wakes up: a settling time while the network comes back, in
// which nothing starts by itself and nothing is announced.
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
