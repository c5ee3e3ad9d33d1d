// The database property dialog's layout.
#include "tarnhollow/editor/database_info_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "tarnhollow/editor/palm_text_qt.h"

namespace tarnhollow::editor {

namespace {

QLineEdit *ReadOnlyEdit(const std::string &text, QWidget *parent) {
    auto *edit = new QLineEdit(ShownPalmText(text), parent);
    edit->setReadOnly(true);
    return edit;
}

} // namespace

DatabaseInfoDialog::DatabaseInfoDialog(const DatabaseInfoTexts &texts, QWidget *parent)
    : QDialog(parent), m_name(ReadOnlyEdit(texts.name, this)),
      m_creator(ReadOnlyEdit(texts.creator, this)), m_type(ReadOnlyEdit(texts.type, this)),
      m_size(ReadOnlyEdit(texts.size, this)), m_attributes(ReadOnlyEdit(texts.attributes, this)) {
    setWindowTitle(ShownPalmText(texts.caption));
    auto *form = new QFormLayout;
    form->addRow(tr("Name"), m_name);
    form->addRow(tr("Creator ID"), m_creator);
    form->addRow(tr("Type"), m_type);
    form->addRow(tr("Size"), m_size);
    form->addRow(tr("Attributes"), m_attributes);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(320);
}

} // namespace tarnhollow::editor
