// What every dialog of the program shares: the dialog font, a fixed size given in dialog units,
// the program icon, and for the two main dialogs the Help menu with "About Ostervane".
#pragma once

#include <QDialog>
#include <QLabel>
#include <QMenuBar>

#include "ostervane/core/dialog_layout.h"

namespace ostervane::ui {

// The body of `dialog`, of the given size; the controls go onto it at dialog-unit positions.
QWidget *SetUpDialog(QDialog *dialog, const DialogRect &size, DialogUnitBase *base);

// Adds the Help menu whose item opens AboutDialog above the body.
QMenuBar *AddHelpMenu(QDialog *dialog);

// The banner picture at `units`, drawn at its own size from the area's top left corner.
QLabel *AddBanner(QWidget *body, const DialogRect &units, const DialogUnitBase &base);

} // namespace ostervane::ui
