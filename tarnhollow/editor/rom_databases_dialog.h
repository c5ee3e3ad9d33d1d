// RomDatabasesDialog: the databases of a ROM image in a sortable table, from which the user
// picks those to add to a package list; what did not read well in the image shows as one line
// above the table.
#pragma once

#include <QDialog>

#include <filesystem>
#include <string>
#include <vector>

#include "tarnhollow/romimport/rom_import.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace tarnhollow::editor {

class RomDatabasesDialog : public QDialog {
    Q_OBJECT
public:
    enum Column { NameColumn, TypeColumn, CreatorColumn, SizeColumn };

    RomDatabasesDialog(const std::filesystem::path &image, const std::vector<RomDatabaseRow> &rows,
                       const std::vector<std::string> &problems, QWidget *parent = nullptr);

    QTreeWidget *Table() const { return m_table; }
    QLabel *ProblemLine() const { return m_problems; }
    QPushButton *AddButton() const { return m_add; }
    // The chosen databases' indexes, in the image's order.
    std::vector<size_t> Chosen() const;

private:
    void FillTable(const std::vector<RomDatabaseRow> &rows);
    void ShowProblems(const std::vector<std::string> &problems);

    QTreeWidget *m_table;
    QLabel *m_problems;
    QPushButton *m_add;
};

} // namespace tarnhollow::editor
