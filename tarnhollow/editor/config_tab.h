// CConfigTab, the "Config" page: package name, options, the application launched after reset
// and the preinstall application.
#pragma once

#include <string>
#include <vector>

#include "tarnhollow/editor/package_sheet.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace tarnhollow::editor {

class CConfigTab : public PackagePage {
    Q_OBJECT
public:
    explicit CConfigTab(CTarnhollowView &view);

    QLineEdit *PackageName() const { return m_packageName; }
    QCheckBox *AutoInstall() const { return m_autoInstall; }
    QComboBox *LaunchList() const { return m_launch; }
    QCheckBox *CreateUninstaller() const { return m_uninstaller; }
    QCheckBox *EraseExpansionRom() const { return m_erase; }
    QLineEdit *Preinstall() const { return m_preinstall; }
    QPushButton *BrowseButton() const { return m_browse; }

    void OnBrowse();

protected:
    void OnInitDialog() override;
    void OnSetActive() override;

private:
    // Typed text goes into the document in the handhelds' text; a character they cannot hold
    // is refused with a message and the edit shows the stored name again.
    void OnPackageNameEdited(const QString &text);
    void OnLaunchChanged(int index);
    void Changed();

    QLineEdit *m_packageName;
    QCheckBox *m_autoInstall;
    QComboBox *m_launch;
    QCheckBox *m_uninstaller;
    QCheckBox *m_erase;
    QLineEdit *m_preinstall;
    QPushButton *m_browse;
    std::vector<std::string> m_launchItems; // as stored, so a choice is kept byte for byte
    bool m_filling = false;
};

} // namespace tarnhollow::editor
