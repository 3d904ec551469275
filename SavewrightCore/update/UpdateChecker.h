#pragma once
// The update feed: a small JSON record fetched over HTTP(S), and version comparison.

#include <QString>

#include <functional>
#include <optional>

struct UpdateInfo {
    QString version;
    QString url;
    std::optional<QString> notes;
    friend bool operator==(const UpdateInfo&, const UpdateInfo&) = default;
};

namespace UpdateChecker {

using Delivery = std::function<void(std::optional<UpdateInfo>)>;

// The record's strict decoding: an object with string "version" and "url", and
// "notes" a string, null or missing; the download address must be http(s).
std::optional<UpdateInfo> decode(const QByteArray& body);
// Fetches the feed without blocking; `deliver` runs once on the main thread with
// the record, or nothing for every kind of failure.
void fetch(const QString& address, Delivery deliver, int timeoutMs = 10000);
bool isNewer(const QString& a, const QString& than);
QString currentVersion();

} // namespace UpdateChecker
