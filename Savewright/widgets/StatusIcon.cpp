#include "StatusIcon.h"

#include "widgets/Palette.h"
#include "widgets/Symbols.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QSystemTrayIcon>

namespace {

const QColor kSymbolColor(0xF4, 0xF4, 0xF4);
const QColor kOutlineColor(0x1E, 0x1E, 0x1E);
constexpr double kOutline = 1.0; // in the 20 x 18 design

class IconEngine : public QIconEngine {
  public:
    IconEngine(QString symbol, std::optional<Tone> dot) : symbol_(std::move(symbol)), dot_(dot) {}
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
        StatusIcon::paint(*painter, rect, symbol_, dot_);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        paint(&p, QRect(QPoint(), size), mode, state);
        return pm;
    }
    QIconEngine* clone() const override { return new IconEngine(symbol_, dot_); }

  private:
    QString symbol_;
    std::optional<Tone> dot_;
};

} // namespace

StatusIcon::StatusIcon(Engine* engine, QSystemTrayIcon* tray)
    : QObject(tray), engine_(engine), tray_(tray),
      watch_(
          engine, this, [this](bool clockOnly) { refresh(clockOnly); },
          EngineWatch::Shows::Lights) {
    refresh();
}

void StatusIcon::refresh(bool clockOnly) {
    if (watch_.passOver(clockOnly && shown_)) return;
    IconModel m = ViewModel::icon(*engine_);
    if (shown_ && m == model_) return; // set again only when something shown changed
    const bool redraw = !shown_ || m.symbol != model_.symbol || m.dot != model_.dot;
    model_ = std::move(m);
    shown_ = true;
    tray_->setToolTip(model_.toolTip);
    if (redraw) tray_->setIcon(image(model_.symbol, model_.dot));
}

QIcon StatusIcon::image(const QString& symbol, std::optional<Tone> dot) {
    return QIcon(new IconEngine(symbol, dot));
}

void StatusIcon::paint(QPainter& p, const QRectF& rect, const QString& symbol,
                       std::optional<Tone> dot) {
    // The design is 20 x 18; any other size is drawn to scale.
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const double scale = std::min(rect.width() / 20.0, rect.height() / 18.0);
    p.translate(rect.center().x() - 10 * scale, rect.center().y() - 9 * scale);
    p.scale(scale, scale);
    const QPalette palette = QGuiApplication::palette();
    const double shift = dot ? -1 : 0;
    // Light on a dark outline: readable on a dark panel and on a light one,
    // whichever the tray host draws behind it.
    const QRectF area(shift, 0, 20, 18);
    for (const QPointF& step :
         {QPointF(-kOutline, 0), QPointF(kOutline, 0), QPointF(0, -kOutline), QPointF(0, kOutline),
          QPointF(-kOutline, -kOutline), QPointF(kOutline, kOutline), QPointF(-kOutline, kOutline),
          QPointF(kOutline, -kOutline)})
        Symbols::draw(p, symbol, area.translated(step), 14, kOutlineColor);
    Symbols::draw(p, symbol, area, 14, kSymbolColor);
    if (dot) {
        const double x = 20 - 7;
        p.setPen(Qt::NoPen);
        // The ring parts the dot from the symbol on any background.
        p.setBrush(kOutlineColor);
        p.drawEllipse(QRectF(x - 1.2, 18 - 7 - 1.2, 9.4, 9.4));
        p.setBrush(Palette::color(*dot, palette));
        p.drawEllipse(QRectF(x, 18 - 7, 7, 7));
    }
    p.restore();
}
