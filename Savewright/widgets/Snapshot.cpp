#include "Snapshot.h"

#include "widgets/Palette.h"
#include "widgets/PanelView.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

namespace Snapshot {

void render(Engine& engine, const QString& path, bool dark, bool expandAll) {
    QApplication::setPalette(dark ? Palette::dark() : Palette::light());
    PanelView panel(&engine, expandAll);
    panel.setAttribute(Qt::WA_DontShowOnScreen);
    panel.show();      // lays the panel out; nothing reaches a screen
    panel.showWhole(); // a picture shows every row
    const double scale = 2.0;
    QImage image(QSize(panel.width(), panel.height()) * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(dark ? QColor::fromRgbF(0.17f, 0.17f, 0.17f) : QColor(Qt::white));
    panel.setAutoFillBackground(false);
    {
        QPainter p(&image);
        panel.render(&p, QPoint(), QRegion(), QWidget::DrawChildren);
    }
    panel.hide();
    // Light compression: at the default, a tall panel's picture takes a third of the run.
    image.convertToFormat(QImage::Format_RGB32).save(path, "PNG", 80);
}

} // namespace Snapshot
