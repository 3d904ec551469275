#pragma once
// The panel rendered off screen into a PNG: 760 pixels wide at scale 2, in the
// forced light or dark look, on an opaque background. Silent on failure.

#include "engine/Engine.h"

#include <QImage>

namespace Snapshot {
void render(Engine& engine, const QString& path, bool dark, bool expandAll);
// An opaque picture as an RGB PNG; false when it could not be written.
bool writePng(const QImage& image, const QString& path);
} // namespace Snapshot
