#pragma once
// Desktop notifications over org.freedesktop.Notifications: a new journal entry
// opens the deletion report at the entry, a new version opens its download.

#include "engine/Engine.h"

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QVariantMap>

class Notifier : public QObject {
    Q_OBJECT
  public:
    struct Content {
        QString identifier;
        QString title;
        QString body;
        QVariantMap userInfo;
        // Buttons beside the click: action key and label.
        QList<std::pair<QString, QString>> actions = {};
        bool silent = false;
        friend bool operator==(const Content&, const Content&) = default;
    };

    explicit Notifier(QDBusConnection bus = QDBusConnection::sessionBus(),
                      QObject* parent = nullptr);
    // Asks the server what it supports and listens for clicks.
    void setUp();
    void deletionEvent(const DeletionEvent& event, const QString& page);
    void updateAvailable(const UpdateInfo& info);
    void alert(const Alert& alert);

    static Content deletionContent(const DeletionEvent& event, const QString& page);
    static Content updateContent(const UpdateInfo& info, const QString& installed);
    static Content alertContent(const Alert& alert);

  signals:
    // "Starten" or "Stoppen" pressed on a task's notification: key "start" or "stop".
    void taskAction(const QString& task, const QString& key);
    // A notification about several tasks was clicked.
    void showPanel();

  public:
    // What a click on a notification with this user info opens.
    static void open(const QVariantMap& userInfo);

  private slots:
    void actionInvoked(uint id, const QString& key);
    void closed(uint id, uint reason);

  private:
    void post(const Content& content);

    QDBusConnection bus_;
    QStringList capabilities_;
    bool asking_ = false;
    QList<Content> waiting_;
    QHash<uint, QVariantMap> shown_;    // server id -> user info
    QHash<QString, uint> byIdentifier_; // a repeated identifier replaces its notification
};
