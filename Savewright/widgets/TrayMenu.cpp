#include "TrayMenu.h"

#include "base/Language.h"
#include "shell/Autostart.h"
#include "widgets/PanelView.h"

#include <QMenu>

#include <cstdio>

namespace TrayMenu {

QMenu* make(PanelView* panel, std::function<void()> show, const QString& program,
            const QStringList& arguments) {
    auto* menu = new QMenu;
    menu->setObjectName(QStringLiteral("trayMenu"));
    QObject::connect(panel, &QObject::destroyed, menu, &QObject::deleteLater);
    menu->addAction(Language::translate("TrayMenu", "Panel zeigen"), menu, std::move(show));
    QAction* login = menu->addAction(Language::translate("TrayMenu", "Beim Anmelden starten"));
    login->setCheckable(true);
    const QStringList roots = Autostart::rootsOf(arguments);
    // The file is the truth: it may have been removed by hand meanwhile.
    QObject::connect(menu, &QMenu::aboutToShow, login,
                     [login] { login->setChecked(Autostart::enabled()); });
    QObject::connect(login, &QAction::triggered, menu, [login, program, roots](bool on) {
        if (Autostart::setEnabled(on, program, roots)) return;
        login->setChecked(Autostart::enabled());
        const QString line =
            Language::translate("TrayMenu", "Nicht zu ändern: %1\n").arg(Autostart::path());
        std::fputs(line.toUtf8().constData(), stderr);
    });
    menu->addSeparator();
    menu->addAction(Language::translate("TrayMenu", "Beenden"), panel,
                    [panel] { panel->quitAsking(); });
    return menu;
}

} // namespace TrayMenu
