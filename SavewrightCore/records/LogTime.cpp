#include "LogTime.h"

#include <cstdio>
#include <ctime>

namespace LogTime {

namespace {

std::tm localOf(std::time_t t) {
    std::tm parts{};
    localtime_r(&t, &parts);
    return parts;
}

std::tm localParts(Clock::time_point t, long* micros) {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch());
    auto secs = std::chrono::floor<std::chrono::seconds>(us);
    if (micros) *micros = static_cast<long>((us - secs).count());
    return localOf(static_cast<std::time_t>(secs.count()));
}

int digits(QStringView s, qsizetype from, qsizetype count) {
    int v = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char16_t c = s[i].unicode();
        if (c < u'0' || c > u'9') return -1;
        v = v * 10 + (c - u'0');
    }
    return v;
}

bool isLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysIn(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeap(year) ? 29 : days[month - 1];
}

// Local wall-clock fields as a point in time, as mktime reads them. glibc's
// mktime looks at /etc/localtime again on every call when TZ is unset, which
// made a folder of thousands of logs cost as many stats. Away from a change of
// offset the answer is the fields read as UTC less the one offset around, and
// localtime_r confirms it without that look; near a change, mktime decides.
std::time_t fromLocal(std::tm parts) {
    std::tm asUtcParts = parts;
    const std::time_t asUtc = timegm(&asUtcParts);
    constexpr std::time_t kFarthestOffset = 15 * 3600;
    const long offset = localOf(asUtc - kFarthestOffset).tm_gmtoff;
    if (offset == localOf(asUtc + kFarthestOffset).tm_gmtoff) {
        const std::time_t t = asUtc - offset;
        const std::tm back = localOf(t);
        if (back.tm_year == parts.tm_year && back.tm_mon == parts.tm_mon &&
            back.tm_mday == parts.tm_mday && back.tm_hour == parts.tm_hour &&
            back.tm_min == parts.tm_min && back.tm_sec == parts.tm_sec)
            return t;
    }
    parts.tm_isdst = -1;
    return std::mktime(&parts);
}

} // namespace

QString fileStamp(Clock::time_point t) {
    const std::tm p = localParts(t, nullptr);
    char buf[96];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d_%02d-%02d-%02d", p.tm_year + 1900, p.tm_mon + 1,
                  p.tm_mday, p.tm_hour, p.tm_min, p.tm_sec);
    return QString::fromLatin1(buf);
}

QString inFileStamp(Clock::time_point t) {
    long micros = 0;
    const std::tm p = localParts(t, &micros);
    char buf[128];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%06ld", p.tm_year + 1900,
                  p.tm_mon + 1, p.tm_mday, p.tm_hour, p.tm_min, p.tm_sec, micros);
    return QString::fromLatin1(buf);
}

bool isFileStamp(QStringView s) {
    if (s.size() != 19 || s[4] != u'-' || s[7] != u'-' || s[10] != u'_' || s[13] != u'-' ||
        s[16] != u'-')
        return false;
    const int year = digits(s, 0, 4), month = digits(s, 5, 2), day = digits(s, 8, 2);
    const int hour = digits(s, 11, 2), minute = digits(s, 14, 2), second = digits(s, 17, 2);
    return year >= 1 && month >= 1 && month <= 12 && day >= 1 && day <= daysIn(year, month) &&
           hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
}

std::optional<QDateTime> parseFileStamp(QStringView s) {
    if (!isFileStamp(s)) return std::nullopt;
    std::tm p{};
    p.tm_year = digits(s, 0, 4) - 1900;
    p.tm_mon = digits(s, 5, 2) - 1;
    p.tm_mday = digits(s, 8, 2);
    p.tm_hour = digits(s, 11, 2);
    p.tm_min = digits(s, 14, 2);
    p.tm_sec = digits(s, 17, 2);
    return QDateTime::fromSecsSinceEpoch(static_cast<qint64>(fromLocal(p)), Qt::UTC);
}

std::optional<Clock::time_point> parseInFileStamp(QStringView s) {
    if (s.size() != 26 || s[10] != u'T' || s[13] != u':' || s[16] != u':' || s[19] != u'.')
        return std::nullopt;
    QString asFileStamp = s.first(19).toString();
    asFileStamp[10] = u'_';
    asFileStamp[13] = u'-';
    asFileStamp[16] = u'-';
    const std::optional<QDateTime> whole = parseFileStamp(asFileStamp);
    const int micros = digits(s, 20, 6);
    if (!whole || micros < 0) return std::nullopt;
    return Clock::time_point(std::chrono::seconds(whole->toSecsSinceEpoch()) +
                             std::chrono::microseconds(micros));
}

QDateTime toDateTime(Clock::time_point t) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch());
    return QDateTime::fromMSecsSinceEpoch(ms.count(), Qt::UTC);
}

Clock::time_point fromDateTime(const QDateTime& t) {
    return Clock::time_point(std::chrono::milliseconds(t.toMSecsSinceEpoch()));
}

} // namespace LogTime
