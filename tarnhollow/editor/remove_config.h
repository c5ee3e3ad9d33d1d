// CRemoveConfig, the "Remove" page: built-in applications and languages to remove from the
// system ROM of the selected devices, and whether stubs replace removed applications.
#pragma once

#include <QTreeWidget>

#include "tarnhollow/editor/package_sheet.h"
#include "tarnhollow/pages/remove_page.h"

class QCheckBox;
class QComboBox;

namespace tarnhollow::editor {

class CRemoveConfig : public PackagePage {
    Q_OBJECT
public:
    explicit CRemoveConfig(CTarnhollowView &view);

    QTreeWidget *RemoveList() const { return m_list; }
    QComboBox *Languages() const { return m_languages; }
    QCheckBox *InstallStubs() const { return m_stubs; }

protected:
    void OnInitDialog() override;
    void OnSetActive() override;

private:
    void ShowRules();
    void OnItemChanged();
    void OnLanguageChosen(int index);
    void OnStubsClicked(bool checked);

    RemovePageRules m_rules;
    QTreeWidget *m_list;
    QComboBox *m_languages;
    QCheckBox *m_stubs;
    bool m_listening = false;
};

} // namespace tarnhollow::editor
