#include "UpdateChecker.h"

#include "BuildInfo.h"
#include "Network.h"
#include "base/MainThread.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>

namespace UpdateChecker {

namespace {

constexpr qint64 kLargestFeed = 1 << 20;

QList<qint64> parts(const QString& version) {
    QString trimmed = version;
    const auto strip = [](QChar c) { return c == u'v' || c == u'V' || c == u' '; };
    while (!trimmed.isEmpty() && strip(trimmed.front()))
        trimmed.remove(0, 1);
    while (!trimmed.isEmpty() && strip(trimmed.back()))
        trimmed.chop(1);
    QList<qint64> out;
    for (QStringView piece : QStringView(trimmed).split(u'.', Qt::SkipEmptyParts)) {
        qsizetype n = 0;
        while (n < piece.size() && piece[n].isNumber())
            ++n;
        bool ok = false;
        const qint64 v = piece.first(n).toLongLong(&ok);
        out.append(ok ? v : 0);
    }
    return out;
}

} // namespace

std::optional<UpdateInfo> decode(const QByteArray& body) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    const QJsonObject o = doc.object();
    const QJsonValue version = o.value(u"version"), url = o.value(u"url"),
                     notes = o.value(u"notes");
    if (!version.isString() || !url.isString()) return std::nullopt;
    if (!notes.isUndefined() && !notes.isNull() && !notes.isString()) return std::nullopt;
    if (!Network::webAddress(url.toString())) return std::nullopt;
    UpdateInfo info{version.toString(), url.toString(), std::nullopt};
    if (notes.isString()) info.notes = notes.toString();
    return info;
}

void fetch(const QString& address, Delivery deliver, int timeoutMs) {
    if (!Network::webAddress(address)) {
        postToMain([deliver] { deliver(std::nullopt); });
        return;
    }
    const QNetworkRequest request = Network::request(QUrl(address), timeoutMs);
    QNetworkReply* reply = Network::manager().get(request);
    // A feed far larger than any record is not read to its end, and never held
    // in memory beyond the limit, whether or not it says its length.
    reply->setReadBufferSize(2 * kLargestFeed);
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply] {
        if (reply->bytesAvailable() > kLargestFeed) reply->abort();
    });
    // One deadline for the whole request: a byte now and then renews the
    // transfer timeout but not this one.
    QTimer::singleShot(timeoutMs, reply, [reply] { reply->abort(); });
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, deliver] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() != QNetworkReply::NoError || status != 200 ||
            !Network::webAddress(reply->url().toString()))
            return deliver(std::nullopt);
        deliver(decode(reply->read(kLargestFeed + 1)));
    });
}

bool isNewer(const QString& a, const QString& than) {
    const QList<qint64> x = parts(a), y = parts(than);
    for (qsizetype i = 0; i < std::max(x.size(), y.size()); ++i) {
        const qint64 p = x.value(i, 0), q = y.value(i, 0);
        if (p != q) return p > q;
    }
    return false;
}

QString currentVersion() {
    const QString v = BuildInfo::version();
    return v.isEmpty() ? QStringLiteral("0") : v;
}

} // namespace UpdateChecker
