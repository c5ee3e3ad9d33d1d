// The About box: the program's icon, name and version, and the device catalogue folder in use.
#pragma once

#include <QDialog>
#include <QIcon>

#include "palm_flash_tools_version.h"

namespace tarnhollow::editor {

inline constexpr const char *kVersionText = PALM_FLASH_TOOLS_VERSION;

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(const QString &catalogueFolderText, QWidget *parent = nullptr);
};

// The application icon from the program's resources.
QIcon ApplicationIcon();

} // namespace tarnhollow::editor
