#pragma once
// Shared fixtures: a throw-away script repository with support folder, file
// helpers and a scoped time zone.

#include "config/Paths.h"
#include "records/LogTime.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

class TempRepo {
  public:
    TempRepo();
    QString root() const { return dir_.path(); }
    Paths paths() const;
    // Writes a file below the root (folders are created); returns its absolute path.
    QString write(const QString& relative, const QByteArray& content) const;
    // Writes an executable bash script into Scripts/.
    QString script(const QString& name, const QByteArray& body) const;
    static QByteArray read(const QString& path);

  private:
    QTemporaryDir dir_;
};

// A local wall-clock time in the current zone (mktime's reading of it).
Clock::time_point localTime(int year, int month, int day, int hour, int minute, int second = 0,
                            int micros = 0);

// Sets TZ for the lifetime of the object.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* tz);
    ~ScopedTimeZone();

  private:
    QByteArray previous_;
    bool hadPrevious_;
};
