// DatabaseInfoDialog: the read-only properties of one database of the RAM or expansion-ROM list.
#pragma once

#include <QDialog>

#include "tarnhollow/pages/database_info.h"

class QLineEdit;

namespace tarnhollow::editor {

class DatabaseInfoDialog : public QDialog {
    Q_OBJECT
public:
    explicit DatabaseInfoDialog(const DatabaseInfoTexts &texts, QWidget *parent = nullptr);

    QLineEdit *nameEdit() const { return m_name; }
    QLineEdit *creatorEdit() const { return m_creator; }
    QLineEdit *typeEdit() const { return m_type; }
    QLineEdit *sizeEdit() const { return m_size; }
    QLineEdit *attributesEdit() const { return m_attributes; }

private:
    QLineEdit *m_name;
    QLineEdit *m_creator;
    QLineEdit *m_type;
    QLineEdit *m_size;
    QLineEdit *m_attributes;
};

} // namespace tarnhollow::editor
