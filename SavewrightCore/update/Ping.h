#pragma once
// Push checks for monitoring services: "<url>/start" when a run starts, "<url>"
// on success, "<url>/fail" on failure, each with the run's last lines. Sent and
// forgotten: a slow or absent service never holds up a run.

#include <QByteArray>
#include <QString>

namespace Ping {

enum class Event { Start, Success, Fail };

constexpr int kTimeoutMs = 10000;
constexpr qsizetype kLargestBody = 4096;

QString address(const QString& base, Event event);
// The last whole lines of `output` within kLargestBody bytes of UTF-8.
QByteArray body(const QString& output);
// Main thread; failures are ignored.
void send(const QString& address, const QByteArray& body);

} // namespace Ping
