#pragma once
// Where the panel opens: as the tray icon's drop-down beside the icon, as a
// frameless window that closes when it loses focus where the icon's place is
// unknown (Wayland), or as an ordinary window while there is no tray at all.

#include <QElapsedTimer>
#include <QObject>
#include <QRect>
#include <QSize>

#include <optional>

class PanelView;
class QSystemTrayIcon;

class PanelWindow : public QObject {
    Q_OBJECT
  public:
    enum class Mode { DropDown, Floating, Window };

    explicit PanelWindow(PanelView* panel);
    // The tray icon the panel belongs to, once there is one.
    void setTray(QSystemTrayIcon* tray) { tray_ = tray; }
    bool hasTray() const { return tray_ != nullptr; }
    // Opens the panel the way the desktop allows now.
    void open();
    // The tray icon was clicked: opens or closes the panel.
    void toggle();

    struct Placement {
        QPoint at;
        int height = 0; // at most the panel's own
    };
    // Where a panel of this size goes beside the icon within the screen's area.
    static Placement placement(const QRect& icon, const QRect& area, const QSize& panel);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The mode for a desktop with or without a tray, on a platform that can or
    // cannot place a window, given the icon's place.
    static Mode modeFor(bool trayAvailable, bool canPlace, const QRect& icon);
    void setMode(Mode mode);
    void place(const QRect& icon);

    PanelView* panel_;
    QSystemTrayIcon* tray_ = nullptr;
    std::optional<Mode> mode_; // none until it first opens
    bool placed_ = false;      // put beside the icon, and kept there as it grows
    bool placing_ = false;
    // A click on the icon closes a floating panel by taking its focus first.
    QElapsedTimer closedByFocus_;
};
