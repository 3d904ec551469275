#pragma once
// A session bus of the test's own (dbus-daemon), gone with the object.

#include <QProcess>
#include <QString>

class PrivateBus {
  public:
    PrivateBus();
    ~PrivateBus();
    bool ok() const { return !address.isEmpty(); }
    QString address;

  private:
    QProcess daemon_;
};
