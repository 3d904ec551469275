#pragma once
// The tray icon's menu (right click, beside the left click's panel): show the
// panel, start at login, quit.

#include <QStringList>

#include <functional>

class PanelView;
class QMenu;

namespace TrayMenu {

// `show` opens the panel; `program` and `arguments` make the login entry.
QMenu* make(PanelView* panel, std::function<void()> show, const QString& program,
            const QStringList& arguments);

} // namespace TrayMenu
