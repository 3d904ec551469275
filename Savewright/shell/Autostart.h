#pragma once
// Starting at login: the desktop entry in the user's autostart folder, written
// or removed from the tray icon's menu.

#include <QString>
#include <QStringList>

namespace Autostart {

// ~/.config/autostart/org.savewright.Savewright.desktop (below XDG_CONFIG_HOME).
QString path();
bool enabled();
// The entry for `program` started with `arguments` (each quoted as the
// desktop entry format asks).
QString entry(const QString& program, const QStringList& arguments);
// Writes or removes the entry; false when the file could not be changed.
bool setEnabled(bool on, const QString& program, const QStringList& arguments);
// The arguments of this start that a start at login needs too (--repo, --support).
QStringList rootsOf(const QStringList& arguments);

} // namespace Autostart
