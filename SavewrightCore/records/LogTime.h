#pragma once
// Local wall-clock stamps of the log format: "yyyy-MM-dd_HH-mm-ss" in file names,
// "yyyy-MM-dd'T'HH:mm:ss.SSSSSS" inside files. Points in time are QDateTime (UTC).

#include <QDateTime>
#include <QString>

#include <chrono>
#include <optional>

using Clock = std::chrono::system_clock;

namespace LogTime {

QString fileStamp(Clock::time_point t);
QString inFileStamp(Clock::time_point t);
// Exactly 19 characters of the file-name form, read as local time.
std::optional<QDateTime> parseFileStamp(QStringView stamp);
// Whether parseFileStamp would succeed, without the time-zone arithmetic.
bool isFileStamp(QStringView stamp);

// The in-file form, read as local time; microseconds kept.
std::optional<Clock::time_point> parseInFileStamp(QStringView stamp);

QDateTime toDateTime(Clock::time_point t);
Clock::time_point fromDateTime(const QDateTime& t);

} // namespace LogTime
