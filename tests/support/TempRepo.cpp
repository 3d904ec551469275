#include "TempRepo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdlib>
#include <ctime>

TempRepo::TempRepo() {
    QDir(dir_.path()).mkpath(QStringLiteral("repo/Scripts"));
    QDir(dir_.path()).mkpath(QStringLiteral("support"));
}

Paths TempRepo::paths() const {
    return Paths(root() + QStringLiteral("/repo"), root() + QStringLiteral("/support"));
}

QString TempRepo::write(const QString& relative, const QByteArray& content) const {
    const QString path = root() + u'/' + relative;
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return {};
    f.write(content);
    return path;
}

QString TempRepo::script(const QString& name, const QByteArray& body) const {
    const QString path = write(QStringLiteral("repo/Scripts/") + name, body);
    QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner);
    return path;
}

QByteArray TempRepo::read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

ScopedTimeZone::ScopedTimeZone(const char* tz) {
    const char* old = std::getenv("TZ");
    hadPrevious_ = old != nullptr;
    if (old) previous_ = old;
    setenv("TZ", tz, 1);
    tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
    if (hadPrevious_)
        setenv("TZ", previous_.constData(), 1);
    else
        unsetenv("TZ");
    tzset();
}

Clock::time_point localTime(int year, int month, int day, int hour, int minute, int second,
                            int micros) {
    std::tm p{};
    p.tm_year = year - 1900;
    p.tm_mon = month - 1;
    p.tm_mday = day;
    p.tm_hour = hour;
    p.tm_min = minute;
    p.tm_sec = second;
    p.tm_isdst = -1;
    return Clock::from_time_t(std::mktime(&p)) + std::chrono::microseconds(micros);
}
