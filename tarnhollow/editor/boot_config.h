// CBootConfig, the "Boot Logo" page: the 160 x 160 bitmap the handheld shows as it starts.
#pragma once

#include "tarnhollow/editor/package_sheet.h"

class QLabel;
class QPushButton;

namespace tarnhollow::editor {

class CBootConfig : public PackagePage {
    Q_OBJECT
public:
    explicit CBootConfig(CTarnhollowView &view);

    QLabel *Picture() const { return m_picture; }
    QPushButton *SetButton() const { return m_set; }
    QPushButton *ClearButton() const { return m_clear; }

    void OnSet();
    void OnClear();

protected:
    void OnSetActive() override;

private:
    void ShowLogo();

    QLabel *m_picture;
    QPushButton *m_set;
    QPushButton *m_clear;
};

} // namespace tarnhollow::editor
