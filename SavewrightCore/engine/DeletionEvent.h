#pragma once
// An entry of the deletion-protection journal the scripts append to.

#include <QString>

#include <optional>

struct DeletionEvent {
    QString id;
    QString kind;    // "woche" announces the weekly report
    QString summary; // may be empty

    // One JSON line; absent unless it is an object with a non-empty string "id".
    static std::optional<DeletionEvent> fromJsonLine(const QString& line);
    QString title() const;
    static QString pageName() { return QStringLiteral("Löschbericht.html"); }
    friend bool operator==(const DeletionEvent&, const DeletionEvent&) = default;
};
