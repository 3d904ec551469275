#pragma once
// Sets what only the engine sets otherwise, for tests that need a state
// without the way there (a tick to an exact second, a started engine without
// its timers).

#include "engine/Engine.h"

struct EngineTestDoor {
    static QProperty<QDateTime>& now(Engine& e) { return e.now_; }
    static QProperty<bool>& started(Engine& e) { return e.started_; }
    static QProperty<bool>& deletionReportUnseen(Engine& e) { return e.deletionReportUnseen_; }
};
