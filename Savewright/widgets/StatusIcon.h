#pragma once
// The tray icon: a symbol for running, paused or idle, with a red or yellow dot
// when a task needs attention. Drawn on demand at any scale.

#include "model/EngineWatch.h"
#include "model/ViewModel.h"

#include <QIcon>
#include <QObject>

class QSystemTrayIcon;

class StatusIcon : public QObject {
    Q_OBJECT
  public:
    StatusIcon(Engine* engine, QSystemTrayIcon* tray);
    const IconModel& model() const { return model_; }
    // 20 x 18 logical pixels: the symbol tinted in the text colour, the dot with
    // a halo in the window colour at the lower right.
    static QIcon image(const QString& symbol, std::optional<Tone> dot);
    static void paint(QPainter& painter, const QRectF& rect, const QString& symbol,
                      std::optional<Tone> dot);

  private:
    void refresh(bool clockOnly = false);

    Engine* engine_;
    QSystemTrayIcon* tray_;
    IconModel model_;
    bool shown_ = false;
    EngineWatch watch_;
};
