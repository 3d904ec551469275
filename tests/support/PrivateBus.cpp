#include "PrivateBus.h"

PrivateBus::PrivateBus() {
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"),
                   QStringLiteral("--print-address=1")});
    if (!daemon_.waitForStarted(5000)) return;
    // Blocking: the address is the daemon's first line, written at once.
    while (!daemon_.canReadLine() && daemon_.waitForReadyRead(5000)) {
    }
    address = QString::fromUtf8(daemon_.readLine().trimmed());
}

PrivateBus::~PrivateBus() {
    daemon_.kill();
    daemon_.waitForFinished();
}
