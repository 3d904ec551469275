#pragma once
// Whether a server takes connections, asked with a plain TCP connect.

#include <QByteArray>

namespace Tcp {

// Whether `host` (a name or an address) accepts a connection on `port` within
// `timeoutSeconds` for one of its addresses; blocks, so callers run it on a
// thread of their own.
bool connects(const QByteArray& host, int port, double timeoutSeconds);

} // namespace Tcp
