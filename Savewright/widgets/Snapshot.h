#pragma once
// The panel rendered off screen into a PNG: 760 pixels wide at scale 2, in the
// forced light or dark look, on an opaque background. Silent on failure.

#include "engine/Engine.h"

namespace Snapshot {
void render(Engine& engine, const QString& path, bool dark, bool expandAll);
}
