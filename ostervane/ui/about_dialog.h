// AboutDialog: the program's icon, name and version, and OK.
#pragma once

#include <QDialog>

namespace ostervane::ui {

inline constexpr const char *kVersionText = "Ostervane 2.5";

class AboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(QWidget *parent = nullptr);
};

} // namespace ostervane::ui
