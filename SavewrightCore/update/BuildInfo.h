#pragma once
// What this build is: filled in at configure time.

#include <QString>

namespace BuildInfo {
QString version();     // the project version, e.g. "0.1.0"
QString buildNumber(); // "?" when unknown
QString commit();      // the git commit, "dev" when unknown
} // namespace BuildInfo
