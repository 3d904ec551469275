#include "PrivateBus.h"

PrivateBus::PrivateBus()
    : daemon_(QStringLiteral("dbus-daemon"),
              {QStringLiteral("--session"), QStringLiteral("--nofork"),
               QStringLiteral("--print-address=1")}) {
    // The address is the daemon's first line, written at once.
    address = QString::fromUtf8(daemon_.firstLine().trimmed());
}
