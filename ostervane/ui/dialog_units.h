// The windows' font and the placing of controls given in dialog units.
#pragma once

#include <QFont>
#include <QSize>
#include <QWidget>

#include "ostervane/core/dialog_layout.h"

namespace ostervane::ui {

// An 8-point sans-serif font, the size the dialog layouts were made for.
QFont DialogFont();

// The pixel sizes of a dialog unit in `font`.
DialogUnitBase UnitBase(const QFont &font);

void Place(QWidget *widget, const DialogRect &units, const DialogUnitBase &base);
QSize PixelSize(const DialogRect &units, const DialogUnitBase &base);

} // namespace ostervane::ui
