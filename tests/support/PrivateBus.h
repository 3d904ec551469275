#pragma once
// A session bus of the test's own (dbus-daemon), gone with the object.

#include "Child.h"

#include <QString>

class PrivateBus {
  public:
    PrivateBus();
    bool ok() const { return !address.isEmpty(); }
    QString address;

  private:
    Child daemon_;
};
