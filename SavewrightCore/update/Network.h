#pragma once
// The one HTTP client of the program (main thread) and the address rule every
// request goes by.

#include <QNetworkAccessManager>
#include <QString>

namespace Network {

QNetworkAccessManager& manager();
// http or https, the scheme exactly as written (the URL parser would lower-case "HTTP").
bool webAddress(const QString& text);
// A request that goes to the network, follows at most a few redirects and
// never from https down to http.
QNetworkRequest request(const QUrl& url, int timeoutMs);

} // namespace Network
