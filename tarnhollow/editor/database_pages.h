// The two database list pages: CROMConfig ("ROM", install to expansion ROM) and CRAMConfig
// ("RAM", install to RAM and back up to expansion ROM), with Add..., Add from ROM image...,
// Delete and the property dialog on double-click.
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
    QPushButton *AddFromRomButton() const { return m_addFromRom; }

    // Add...: the chosen files that are Palm databases not yet in either list.
    void OnAdd();
    // Add from ROM image...: databases chosen from a ROM image, written as files into a chosen
    // folder and added like the files of Add....
    void OnAddFromRom();
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
    // What every way of adding does once the document has the new entries.
    void ShowAdded();

    DatabaseList m_which;
    QTreeWidget *m_list;
    QPushButton *m_add;
    QPushButton *m_addFromRom;
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
