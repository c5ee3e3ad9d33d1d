// Turning a BitmapHolder into a pixmap.
#include "tarnhollow/editor/bitmap_view.h"

#include <QImage>

#include "tarnhollow/editor/editor_resources.h"

namespace tarnhollow::editor {

QPixmap PixmapFor(const BitmapHolder &holder) {
    QImage image;
    switch (holder.source()) {
    case BitmapHolder::Source::File:
        image.loadFromData(holder.fileBytes().data(), int(holder.fileBytes().size()), "BMP");
        break;
    case BitmapHolder::Source::DefaultLogo:
        EnsureEditorResources();
        image.load(kDefaultLogoResource, "BMP");
        break;
    case BitmapHolder::Source::None:
        break;
    }
    return QPixmap::fromImage(image);
}

} // namespace tarnhollow::editor
