#include "Notifier.h"

#include "base/Language.h"
#include "shell/Files.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QTimer>

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
} // namespace

Notifier::Notifier(QDBusConnection bus, QObject* parent) : QObject(parent), bus_(std::move(bus)) {}

void Notifier::setUp() {
    bus_.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                 SLOT(actionInvoked(uint, QString)));
    bus_.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                 SLOT(closed(uint, uint)));
    const QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                             QStringLiteral("GetCapabilities"));
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, 5000), this);
    asking_ = true;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        const QDBusPendingReply<QStringList> reply = *watcher;
        if (!reply.isError()) capabilities_ = reply.value();
        watcher->deleteLater();
        // What came in before the answer goes out now, in the form the server takes.
        asking_ = false;
        for (const Content& c : std::exchange(waiting_, {}))
            post(c);
    });
}

Notifier::Content Notifier::deletionContent(const DeletionEvent& e, const QString& page) {
    const QString body = e.summary.isEmpty()
                             ? e.id + Language::translate("Notifier", " – Klick zum Öffnen")
                             : e.id + QStringLiteral(" · ") + e.summary;
    return {
        e.id, e.title(), body, {{QStringLiteral("path"), page}, {QStringLiteral("anchor"), e.id}}};
}

Notifier::Content Notifier::updateContent(const UpdateInfo& info, const QString& installed) {
    return {QStringLiteral("update-") + info.version,
            Language::translate("Notifier", "Savewright %1 verfügbar").arg(info.version),
            info.notes.value_or(Language::translate("Notifier", "Klick zum Herunterladen")) +
                Language::translate("Notifier", " (installiert: %1)").arg(installed),
            {{QStringLiteral("download"), info.url}}};
}

Notifier::Content Notifier::alertContent(const Alert& a) {
    static const char* kinds[] = {"failed", "overdue", "recovered", "hung", "summary", "held"};
    Content c{QStringLiteral("task-%1-%2")
                  .arg(QLatin1StringView(kinds[static_cast<int>(a.kind)]), a.task),
              a.title,
              a.body,
              {}};
    // A click opens the task's newest log ("Öffnen"), or the panel for several tasks.
    if (a.logFile) c.userInfo.insert(QStringLiteral("path"), *a.logFile);
    if (a.kind == Alert::Kind::Summary) c.userInfo.insert(QStringLiteral("panel"), true);
    c.userInfo.insert(QStringLiteral("task"), a.task);
    if (a.kind == Alert::Kind::Failed)
        c.actions = {{QStringLiteral("start"), Language::translate("Notifier", "Starten")}};
    else if (a.kind == Alert::Kind::Hung)
        c.actions = {{QStringLiteral("stop"), Language::translate("Notifier", "Stoppen")}};
    c.silent = a.kind == Alert::Kind::Recovered;
    return c;
}

void Notifier::alert(const Alert& a) {
    post(alertContent(a));
}

void Notifier::deletionEvent(const DeletionEvent& event, const QString& page) {
    post(deletionContent(event, page));
}

void Notifier::updateAvailable(const UpdateInfo& info) {
    post(updateContent(info, UpdateChecker::currentVersion()));
}

void Notifier::post(const Content& c) {
    if (asking_) return waiting_.append(c);
    // Bodies carry text the scripts wrote: never let a server read it as markup.
    const QString body =
        capabilities_.contains(QStringLiteral("body-markup")) ? c.body.toHtmlEscaped() : c.body;
    QStringList actions;
    if (capabilities_.contains(QStringLiteral("actions"))) {
        actions = {QStringLiteral("default"), Language::translate("Notifier", "Öffnen")};
        for (const auto& [key, label] : c.actions)
            actions << key << label;
    }
    QVariantMap hints{
        {QStringLiteral("desktop-entry"), QStringLiteral("org.savewright.Savewright")}};
    if (c.silent) hints.insert(QStringLiteral("suppress-sound"), true);
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    call << QStringLiteral("Savewright") << byIdentifier_.value(c.identifier, 0u)
         << QStringLiteral("drive-harddisk") << c.title << body << actions << hints << -1;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, c] {
        const QDBusPendingReply<uint> reply = *watcher;
        if (!reply.isError()) {
            shown_.insert(reply.value(), c.userInfo);
            byIdentifier_.insert(c.identifier, reply.value());
        }
        watcher->deleteLater();
    });
}

void Notifier::actionInvoked(uint id, const QString& key) {
    if (!shown_.contains(id)) return;
    const QVariantMap info = shown_.value(id);
    if (key == u"default" && info.value(QStringLiteral("panel")).toBool()) {
        QTimer::singleShot(0, this, [this] { emit showPanel(); });
    } else if (key == u"default") {
        QTimer::singleShot(0, this, [info] { open(info); });
    } else if (key == u"start" || key == u"stop") {
        const QString task = info.value(QStringLiteral("task")).toString();
        QTimer::singleShot(0, this, [this, task, key] { emit taskAction(task, key); });
    }
}

void Notifier::closed(uint id, uint) {
    shown_.remove(id);
}

void Notifier::open(const QVariantMap& info) {
    const QVariant download = info.value(QStringLiteral("download"));
    if (download.typeId() == QMetaType::QString) {
        const QUrl url(download.toString(), QUrl::StrictMode);
        if (url.isValid() && !url.scheme().isEmpty()) return Files::open(url);
    }
    const QVariant path = info.value(QStringLiteral("path"));
    if (path.typeId() != QMetaType::QString) return;
    const QVariant anchor = info.value(QStringLiteral("anchor"));
    Files::open(path.toString(), anchor.typeId() == QMetaType::QString
                                     ? std::optional<QString>(anchor.toString())
                                     : std::nullopt);
}
