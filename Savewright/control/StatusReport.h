#pragma once
// Every task's state as one JSON object (the `status` command and the D-Bus
// `Status` method), and the forms the command line prints it in.

#include "engine/Engine.h"

#include <QJsonObject>
#include <QString>

namespace StatusReport {

constexpr int kSchema = 1;

// `source` says where the running flags come from: "live" or "logs".
QJsonObject of(const Engine& engine, const QString& source);
// What StatusChanged is sent for: the report without its times and ages.
QJsonObject essentials(const QJsonObject& report);
// 0 when every task is green, 1 when any is yellow, 2 when any is red, never
// or failed, or the configuration has a problem (a run under way counts by
// the status it stands in front of).
int exitCode(const QJsonObject& report);
// One line for a status bar: the count line, after the first problem if any.
QString line(const QJsonObject& report);
// An aligned table in German, the count line last.
QString table(const QJsonObject& report, const QDateTime& now);

} // namespace StatusReport
