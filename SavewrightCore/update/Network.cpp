#include "Network.h"

#include "BuildInfo.h"

#include <QCoreApplication>
#include <QNetworkRequest>
#include <QUrl>

namespace Network {

namespace {
constexpr int kMostRedirects = 5;
} // namespace

QNetworkAccessManager& manager() {
    static QNetworkAccessManager* m = [] {
        auto* created = new QNetworkAccessManager(QCoreApplication::instance());
        created->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
        return created;
    }();
    return *m;
}

bool webAddress(const QString& text) {
    const QString scheme = text.section(u':', 0, 0);
    return (scheme == u"http" || scheme == u"https") && QUrl(text, QUrl::StrictMode).isValid();
}

QNetworkRequest request(const QUrl& url, int timeoutMs) {
    QNetworkRequest r{url};
    r.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    r.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                   QNetworkRequest::NoLessSafeRedirectPolicy);
    r.setMaximumRedirectsAllowed(kMostRedirects);
    r.setTransferTimeout(timeoutMs);
    r.setHeader(QNetworkRequest::UserAgentHeader,
                QStringLiteral("Savewright/") + BuildInfo::version());
    return r;
}

} // namespace Network
