#include "PanelWindow.h"

#include "PanelView.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QSystemTrayIcon>

#include <algorithm>

namespace {
constexpr qint64 kSameClickMs = 400;
}

PanelWindow::PanelWindow(PanelView* panel) : QObject(panel), panel_(panel) {
    panel_->setWindowTitle(QStringLiteral("Savewright"));
    panel_->installEventFilter(this);
}

PanelWindow::Mode PanelWindow::modeFor(bool trayAvailable, bool canPlace, const QRect& icon) {
    if (!trayAvailable) return Mode::Window;
    // Without the icon's place a popup cannot be put beside it (and on Wayland
    // a parentless popup can neither be placed nor grab).
    return canPlace && icon.isValid() ? Mode::DropDown : Mode::Floating;
}

void PanelWindow::open() {
    const bool canPlace = QGuiApplication::platformName() != u"wayland";
    const QRect icon = tray_ ? tray_->geometry() : QRect();
    setMode(modeFor(tray_ && QSystemTrayIcon::isSystemTrayAvailable(), canPlace, icon));
    panel_->fitHeight();
    if (mode_ == Mode::DropDown || (mode_ == Mode::Floating && canPlace)) place(icon);
    panel_->show();
    panel_->raise();
    panel_->activateWindow();
}

void PanelWindow::toggle() {
    if (panel_->isVisible()) return panel_->hide();
    if (closedByFocus_.isValid() && closedByFocus_.elapsed() < kSameClickMs) return;
    open();
}

void PanelWindow::setMode(Mode mode) {
    if (mode == mode_) return;
    mode_ = mode;
    const bool visible = panel_->isVisible();
    switch (mode) {
    case Mode::DropDown:
        panel_->setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
        break;
    case Mode::Floating:
        panel_->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        break;
    case Mode::Window:
        panel_->setWindowFlags(Qt::Window);
        break;
    }
    if (visible) panel_->show(); // new flags hide a window
}

bool PanelWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == panel_ && mode_ == Mode::Floating && event->type() == QEvent::WindowDeactivate &&
        panel_->isVisible()) {
        panel_->hide();
        closedByFocus_.start();
    }
    return false;
}

void PanelWindow::place(const QRect& icon) {
    const QPoint anchor = icon.isValid() ? icon.center() : QCursor::pos();
    QScreen* screen = QGuiApplication::screenAt(anchor);
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
    QPoint at(anchor.x() - panel_->width() / 2,
              icon.isValid() ? icon.bottom() + 4 : anchor.y() + 4);
    if (at.y() + panel_->height() > area.bottom())
        at.setY((icon.isValid() ? icon.top() : anchor.y()) - panel_->height() - 4);
    at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - panel_->width())));
    at.setY(std::max(at.y(), area.top()));
    panel_->move(at);
}
