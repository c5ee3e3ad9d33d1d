// AboutDialog: the program's icon, name and version, and OK.
#pragma once

#include <QDialog>

#include "palm_flash_tools_version.h"

namespace ostervane::ui {

inline constexpr const char *kVersionText = "Ostervane " PALM_FLASH_TOOLS_VERSION;

class AboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(QWidget *parent = nullptr);
};

} // namespace ostervane::ui
