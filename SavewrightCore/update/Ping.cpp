#include "Ping.h"

#include "Network.h"

#include <QNetworkReply>
#include <QTimer>
#include <QUrl>

namespace Ping {

QString address(const QString& base, Event event) {
    if (event == Event::Success) return base;
    QUrl url(base);
    QString path = url.path();
    while (path.endsWith(u'/'))
        path.chop(1);
    url.setPath(path +
                (event == Event::Start ? QStringLiteral("/start") : QStringLiteral("/fail")));
    return url.toString();
}

QByteArray body(const QString& output) {
    QByteArray bytes = output.toUtf8();
    if (bytes.size() <= kLargestBody) return bytes;
    bytes = bytes.last(kLargestBody);
    // Begin at a line start, or at least at a character start.
    const qsizetype lineEnd = bytes.indexOf('\n');
    if (lineEnd >= 0 && lineEnd + 1 < bytes.size()) return bytes.mid(lineEnd + 1);
    qsizetype i = 0;
    while (i < bytes.size() && (static_cast<unsigned char>(bytes[i]) & 0xC0) == 0x80)
        ++i;
    return bytes.mid(i);
}

void send(const QString& target, const QByteArray& payload) {
    if (!Network::webAddress(target)) return;
    QNetworkRequest request = Network::request(QUrl(target), kTimeoutMs);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("text/plain; charset=utf-8"));
    QNetworkReply* reply = Network::manager().post(request, payload);
    // The answer is of no interest: read and dropped, never piled up.
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply] { reply->readAll(); });
    // One deadline for the whole exchange, however slowly the answer trickles.
    QTimer::singleShot(kTimeoutMs, reply, [reply] { reply->abort(); });
    QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
}

} // namespace Ping
