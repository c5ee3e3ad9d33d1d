// The two database list pages: CROMConfig ("ROM", install to expansion ROM) and CRAMConfig
// ("RAM", install to RAM and back up to expansion ROM), with Add..., Delete and the property
// dialog on double-click.
#pragma once

#include <QTreeWidget>

#include "tarnhollow/editor/package_sheet.h"
#include "tarnhollow/pages/database_lists.h"

class QPushButton;

namespace tarnhollow::editor {

class DatabaseListPage : public PackagePage {
    Q_OBJECT
public:
    QTreeWidget *List() const { return m_list; }
    QPushButton *AddButton() const { return m_add; }

    // Add...: the chosen files that are Palm databases not yet in either list.
    void OnAdd();
    // The Delete key: removes the entry of the first selected row.
    void OnDelete();
    // Double-click: the selected row's properties.
    void OnDoubleClick();

protected:
    DatabaseListPage(CTarnhollowView &view, const QString &caption, const QString &label,
                     DatabaseList list);
    void OnInitDialog() override;
    void OnSetActive() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

    // Rebuilds the rows from the document.
    virtual void Refresh();
    QTreeWidgetItem *SelectedRow() const;

    DatabaseList m_which;
    QTreeWidget *m_list;
    QPushButton *m_add;
};

class CROMConfig : public DatabaseListPage {
    Q_OBJECT
public:
    explicit CROMConfig(CTarnhollowView &view);
};

class CRAMConfig : public DatabaseListPage {
    Q_OBJECT
public:
    explicit CRAMConfig(CTarnhollowView &view);

protected:
    void Refresh() override;

private:
    void OnItemChanged();
    bool m_listening = false;
};

} // namespace tarnhollow::editor
