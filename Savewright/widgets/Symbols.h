#pragma once
// The symbol names the views use, mapped to freedesktop icon names in one table,
// drawn tinted in any colour. An unknown name draws nothing.

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

class QPainter;

namespace Symbols {

// Makes the icon theme findable where the platform gives none (offscreen, bare X).
void setUpTheme();
QString themeName(const QString& symbol);
QIcon icon(const QString& symbol);
// The symbol in `color`, `size` logical pixels square, centred in `rect`.
void draw(QPainter& painter, const QString& symbol, const QRectF& rect, double size,
          const QColor& color);

} // namespace Symbols
