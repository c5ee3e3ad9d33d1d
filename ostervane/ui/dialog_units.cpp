// Dialog units measured in the dialog font.
#include "ostervane/ui/dialog_units.h"

#include <QFontMetrics>

namespace ostervane::ui {

QFont DialogFont() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

DialogUnitBase UnitBase(const QFont &font) {
    QFontMetrics metrics(font);
    int alphabets = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {AverageCharWidth(alphabets), metrics.height()};
}

void Place(QWidget *widget, const DialogRect &units, const DialogUnitBase &base) {
    DialogRect pixels = ToPixels(units, base);
    widget->setGeometry(pixels.x, pixels.y, pixels.width, pixels.height);
}

QSize PixelSize(const DialogRect &units, const DialogUnitBase &base) {
    DialogRect pixels = ToPixels(units, base);
    return {pixels.width, pixels.height};
}

} // namespace ostervane::ui
