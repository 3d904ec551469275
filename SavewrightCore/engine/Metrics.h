#pragma once
// The tasks in the Prometheus text exposition format, for node_exporter's
// textfile collector: last success, status, running, duration of the last run.

#include "records/TaskState.h"

#include <QByteArray>
#include <QHash>
#include <QList>

#include <memory>
#include <optional>

namespace Metrics {

// `lastRunSeconds` by task name; a task without one has no duration sample.
QByteArray text(const QList<std::shared_ptr<TaskState>>& tasks, const QDateTime& now,
                const QHash<QString, double>& lastRunSeconds);
// How a metrics file that cannot be written is said on the panel.
QString problem();
// A label value with backslash, quote and line feed escaped.
QString labelValue(const QString& value);

} // namespace Metrics
