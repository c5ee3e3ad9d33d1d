// The ROM image database chooser's layout.
#include "tarnhollow/editor/rom_databases_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace tarnhollow::editor {

namespace {

constexpr int kIndexRole = Qt::UserRole;
constexpr int kNameWidth = 230;
constexpr int kCodeWidth = 70;

QString Text(const std::string &utf8) {
    return QString::fromStdString(utf8);
}

QTreeWidgetItem *RowItem(const RomDatabaseRow &row, QTreeWidget *table) {
    auto *item = new QTreeWidgetItem(table);
    item->setText(RomDatabasesDialog::NameColumn, Text(row.name));
    item->setText(RomDatabasesDialog::TypeColumn, Text(row.type));
    item->setText(RomDatabasesDialog::CreatorColumn, Text(row.creator));
    // A number, so the column sorts by size rather than by its digits.
    item->setData(RomDatabasesDialog::SizeColumn, Qt::DisplayRole,
                  QVariant::fromValue<qulonglong>(row.bytes));
    item->setTextAlignment(RomDatabasesDialog::SizeColumn, Qt::AlignRight | Qt::AlignVCenter);
    item->setData(RomDatabasesDialog::NameColumn, kIndexRole,
                  QVariant::fromValue<qulonglong>(row.index));
    if (!row.refusal.empty()) {
        item->setFlags(item->flags() & ~(Qt::ItemIsSelectable | Qt::ItemIsEnabled));
        for (int column = 0; column < table->columnCount(); column++) {
            item->setToolTip(column, QObject::tr("Cannot be added: %1").arg(Text(row.refusal)));
        }
    }
    return item;
}

} // namespace

RomDatabasesDialog::RomDatabasesDialog(const std::filesystem::path &image,
                                       const std::vector<RomDatabaseRow> &rows,
                                       const std::vector<std::string> &problems, QWidget *parent)
    : QDialog(parent), m_table(new QTreeWidget(this)), m_problems(new QLabel(this)),
      m_add(nullptr) {
    setWindowTitle(tr("Add from ROM Image"));
    const QString file = QString::fromStdString(image.filename().string());
    auto *heading = new QLabel(tr("Databases in %1").arg(file), this);
    m_problems->setObjectName("problemLine");
    m_table->setObjectName("romDatabases");
    m_table->setRootIsDecorated(false);
    m_table->setAllColumnsShowFocus(true);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setHeaderLabels({tr("Name"), tr("Type"), tr("Creator"), tr("Size")});
    m_table->setColumnWidth(NameColumn, kNameWidth);
    m_table->setColumnWidth(TypeColumn, kCodeWidth);
    m_table->setColumnWidth(CreatorColumn, kCodeWidth);
    FillTable(rows);
    ShowProblems(problems);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    m_add = buttons->addButton(tr("Add"), QDialogButtonBox::AcceptRole);
    m_add->setEnabled(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_table, &QTreeWidget::itemSelectionChanged, this,
            [this] { m_add->setEnabled(!m_table->selectedItems().isEmpty()); });
    connect(m_table, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(m_problems);
    layout->addWidget(m_table, 1);
    layout->addWidget(buttons);
    resize(520, 360);
}

void RomDatabasesDialog::FillTable(const std::vector<RomDatabaseRow> &rows) {
    for (const RomDatabaseRow &row : rows) {
        RowItem(row, m_table);
    }
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(NameColumn, Qt::AscendingOrder);
}

void RomDatabasesDialog::ShowProblems(const std::vector<std::string> &problems) {
    if (problems.empty()) {
        m_problems->hide();
        return;
    }
    QString line = tr("Problem in the image: %1").arg(Text(problems.front()));
    if (problems.size() > 1) {
        line += tr(" (and %n more)", nullptr, int(problems.size() - 1));
    }
    QStringList all;
    for (const std::string &problem : problems) {
        all << Text(problem);
    }
    m_problems->setText(line);
    m_problems->setToolTip(all.join('\n'));
    m_problems->setWordWrap(true);
    m_problems->setStyleSheet("color: #a01010");
}

std::vector<size_t> RomDatabasesDialog::Chosen() const {
    std::vector<size_t> chosen;
    for (const QTreeWidgetItem *item : m_table->selectedItems()) {
        chosen.push_back(item->data(NameColumn, kIndexRole).toULongLong());
    }
    std::sort(chosen.begin(), chosen.end());
    return chosen;
}

} // namespace tarnhollow::editor
