#include "PanelWindow.h"

#include "widgets/PanelView.h"

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
    // Content that grows or shrinks while the panel is open (a wrapped count
    // line, a banner) must neither push it over the icon nor leave a gap.
    connect(panel_, &PanelView::heightFitted, this, [this] {
        if (placed_ && !placing_ && panel_->isVisible()) place(tray_ ? tray_->geometry() : QRect());
    });
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
    placed_ = mode_ == Mode::DropDown || (mode_ == Mode::Floating && canPlace);
    if (placed_) place(icon);
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

PanelWindow::Placement PanelWindow::placement(const QRect& icon, const QRect& area,
                                              const QSize& panel) {
    constexpr int kGap = 4;
    const int below = area.bottom() - icon.bottom() - kGap;
    const int above = icon.top() - kGap - area.top();
    Placement p{QPoint(icon.center().x() - panel.width() / 2, 0), panel.height()};
    // Below the icon, else above it; when neither has room, on the side with
    // more, as tall as that side allows: never over the icon.
    if (panel.height() <= below || below >= above) {
        p.height = std::min(panel.height(), std::max(below, 0));
        p.at.setY(icon.bottom() + kGap + 1);
    } else {
        p.height = std::min(panel.height(), std::max(above, 0));
        p.at.setY(icon.top() - kGap - p.height);
    }
    p.at.setX(
        std::clamp(p.at.x(), area.left(), std::max(area.left(), area.right() + 1 - panel.width())));
    return p;
}

void PanelWindow::place(const QRect& icon) {
    const QRect anchor = icon.isValid() ? icon : QRect(QCursor::pos(), QSize(1, 1));
    QScreen* screen = QGuiApplication::screenAt(anchor.center());
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
    const Placement p = placement(anchor, area, panel_->size());
    placing_ = true;
    if (p.height < panel_->height()) panel_->fitHeight(p.height);
    panel_->move(p.at);
    placing_ = false;
}
