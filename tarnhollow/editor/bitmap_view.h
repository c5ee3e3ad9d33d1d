// BitmapHolder's picture for the screen: the held .bmp file decoded by Qt, or the program's own
// default logo from its resources.
#pragma once

#include <QPixmap>

#include "tarnhollow/document/bitmap_holder.h"

namespace tarnhollow::editor {

inline constexpr const char *kDefaultLogoResource = ":/tarnhollow/default_logo.bmp";

// A null pixmap when the holder is empty or its bitmap cannot be shown.
QPixmap PixmapFor(const BitmapHolder &holder);

} // namespace tarnhollow::editor
