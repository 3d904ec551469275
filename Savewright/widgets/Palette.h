#pragma once
// Colours: the text levels and the accent from the active QPalette, the system
// colours as fixed sRGB values that read on light and dark backgrounds, and the
// forced light and dark palettes of snapshots.

#include "model/ViewModel.h"

#include <QColor>
#include <QPalette>

namespace Palette {

QColor color(Tone tone, const QPalette& palette);
// The colour of a status written as text (yellow is written in orange).
QColor text(TaskStatus status, const QPalette& palette);
// The indicator dot of a status.
QColor indicator(TaskStatus status, const QPalette& palette);
// The primary text colour at an opacity, for fills and borders.
QColor primary(const QPalette& palette, double opacity);

QPalette light();
QPalette dark();
bool isDark(const QPalette& palette);

} // namespace Palette
