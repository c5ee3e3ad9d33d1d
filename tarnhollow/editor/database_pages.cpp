// The RAM and expansion-ROM list pages.
#include "tarnhollow/editor/database_pages.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "tarnhollow/document/document_names.h"
#include "tarnhollow/editor/palm_text_qt.h"
#include "tarnhollow/editor/tarnhollow_view.h"
#include "tarnhollow/pages/database_info.h"
#include "tarnhollow/romimport/rom_import.h"

namespace tarnhollow::editor {

namespace {

constexpr int kEntryRole = Qt::UserRole;
constexpr int kRomNameWidth = 265;
constexpr int kInstallWidth = 55;
constexpr int kRamNameWidth = 210;
constexpr const char *kDeleteFailedText = "Exception";
constexpr const char *kExtractFolderCaption = "Folder for the Databases from the ROM Image";

QString NoDatabasesText(const std::filesystem::path &image,
                        const std::vector<std::string> &problems) {
    QString text = QObject::tr("No database could be read from %1.")
                       .arg(QString::fromStdString(image.filename().string()));
    if (!problems.empty()) {
        text += "\n" + QString::fromStdString(problems.front());
    }
    return text;
}

QString NotAddedText(const std::vector<std::string> &lines) {
    QString text = QObject::tr("These databases were not added:");
    for (const std::string &line : lines) {
        text += "\n" + QString::fromStdString(line);
    }
    return text;
}

} // namespace

DatabaseListPage::DatabaseListPage(CTarnhollowView &view, const QString &caption,
                                   const QString &label, DatabaseList list)
    : PackagePage(view, caption), m_which(list), m_list(new QTreeWidget(this)),
      m_add(new QPushButton(tr("Add..."), this)),
      m_addFromRom(new QPushButton(tr("Add from ROM image..."), this)) {
    m_list->setRootIsDecorated(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->header()->setStretchLastSection(false);
    m_list->installEventFilter(this);
    m_add->setObjectName("addButton");
    m_addFromRom->setObjectName("addFromRomButton");
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_addFromRom);
    buttons->addWidget(m_add);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(label, this));
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
    connect(m_add, &QPushButton::clicked, this, &DatabaseListPage::OnAdd);
    connect(m_addFromRom, &QPushButton::clicked, this, &DatabaseListPage::OnAddFromRom);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &DatabaseListPage::OnDoubleClick);
}

void DatabaseListPage::OnInitDialog() {
    Refresh();
}

void DatabaseListPage::OnSetActive() {
    Refresh();
}

bool DatabaseListPage::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_list && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Delete) {
        OnDelete();
        return true;
    }
    return PackagePage::eventFilter(watched, event);
}

void DatabaseListPage::Refresh() {
    m_list->clear();
    const int nameColumn = m_list->columnCount() - 1;
    for (const DatabaseRow &row : ListRows(m_view.GetDocument(), m_which)) {
        auto *item = new QTreeWidgetItem(m_list);
        item->setText(nameColumn, ShownPalmText(row.name));
        item->setData(0, kEntryRole, static_cast<qulonglong>(row.entryIndex));
    }
}

QTreeWidgetItem *DatabaseListPage::SelectedRow() const {
    for (int row = 0; row < m_list->topLevelItemCount(); row++) {
        if (m_list->topLevelItem(row)->isSelected()) {
            return m_list->topLevelItem(row);
        }
    }
    return nullptr;
}

void DatabaseListPage::OnAdd() {
    std::vector<std::filesystem::path> paths =
        m_view.Dialogs().ChooseFilesToOpen(this, kPalmFilesFilter);
    if (paths.empty()) {
        return;
    }
    AddDatabases(m_view.GetDocument(), m_which, paths);
    ShowAdded();
}

void DatabaseListPage::ShowAdded() {
    Refresh();
    m_view.UpdateAllViews();
}

void DatabaseListPage::OnAddFromRom() {
    const std::optional<std::filesystem::path> image = m_view.Dialogs().ChooseRomImage(this);
    if (!image) {
        return;
    }
    std::string why;
    const std::unique_ptr<RomImageFile> rom = RomImageFile::Load(*image, why);
    if (!rom) {
        m_view.Dialogs().Inform(this, QString::fromStdString(why), kApplicationTitle,
                                BoxIcon::Warning);
        return;
    }
    if (rom->Databases().empty()) {
        m_view.Dialogs().Inform(this, NoDatabasesText(*image, rom->Problems()), kApplicationTitle,
                                BoxIcon::Warning);
        return;
    }
    const std::vector<size_t> chosen =
        m_view.Dialogs().ChooseRomDatabases(this, *image, RomDatabaseRows(*rom), rom->Problems());
    if (chosen.empty()) {
        return;
    }
    const std::optional<std::filesystem::path> folder =
        m_view.Dialogs().ChooseFolder(this, tr(kExtractFolderCaption));
    if (!folder) {
        return;
    }
    const std::vector<RomAddOutcome> outcomes =
        AddRomDatabases(m_view.GetDocument(), m_which, *rom, chosen, *folder);
    ShowAdded();
    const std::vector<std::string> notAdded = NotAddedLines(outcomes);
    if (!notAdded.empty()) {
        m_view.Dialogs().Inform(this, NotAddedText(notAdded), kApplicationTitle, BoxIcon::Warning);
    }
}

void DatabaseListPage::OnDelete() {
    QTreeWidgetItem *row = SelectedRow();
    if (row == nullptr) {
        return;
    }
    try {
        DeleteEntry(m_view.GetDocument(), m_which, row->data(0, kEntryRole).toULongLong());
        Refresh();
        m_view.UpdateAllViews();
    } catch (const std::exception &) {
        m_view.Dialogs().Inform(this, kDeleteFailedText, kApplicationTitle);
    }
}

void DatabaseListPage::OnDoubleClick() {
    QTreeWidgetItem *row = SelectedRow();
    if (row == nullptr) {
        return;
    }
    const auto &entries = m_which == DatabaseList::Ram ? m_view.GetDocument().m_ramList
                                                       : m_view.GetDocument().m_romList;
    const size_t index = row->data(0, kEntryRole).toULongLong();
    if (index < entries.size() && HasDatabaseInfo(entries[index], m_which == DatabaseList::Ram)) {
        m_view.Dialogs().ShowDatabaseInfo(this, DatabaseInfoFor(entries[index]));
    }
}

CROMConfig::CROMConfig(CTarnhollowView &view)
    : DatabaseListPage(view, tr("ROM"), tr("Install To Expansion ROM"), DatabaseList::Rom) {
    m_list->setObjectName("romList");
    m_list->setHeaderLabels({tr("DB Name")});
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->header()->setSectionsMovable(true);
    m_list->setColumnWidth(0, kRomNameWidth);
}

CRAMConfig::CRAMConfig(CTarnhollowView &view)
    : DatabaseListPage(view, tr("RAM"), tr("Install to RAM and Backup to Expansion ROM"),
                       DatabaseList::Ram) {
    m_list->setObjectName("ramList");
    m_list->setHeaderLabels({tr("Install"), tr("DB Name")});
    m_list->setColumnWidth(0, kInstallWidth);
    m_list->setColumnWidth(1, kRamNameWidth);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    connect(m_list, &QTreeWidget::itemChanged, this, &CRAMConfig::OnItemChanged);
}

void CRAMConfig::Refresh() {
    m_listening = false;
    DatabaseListPage::Refresh();
    const std::vector<DatabaseRow> rows = ListRows(m_view.GetDocument(), DatabaseList::Ram);
    for (int row = 0; row < m_list->topLevelItemCount(); row++) {
        QTreeWidgetItem *item = m_list->topLevelItem(row);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, rows[size_t(row)].checked ? Qt::Checked : Qt::Unchecked);
    }
    m_listening = true;
}

void CRAMConfig::OnItemChanged() {
    if (!m_listening) {
        return;
    }
    std::vector<bool> boxes;
    for (int row = 0; row < m_list->topLevelItemCount(); row++) {
        boxes.push_back(m_list->topLevelItem(row)->checkState(0) == Qt::Checked);
    }
    const std::vector<bool> kept = ApplyRamChecks(m_view.GetDocument(), boxes);
    m_listening = false;
    for (int row = 0; row < m_list->topLevelItemCount(); row++) {
        m_list->topLevelItem(row)->setCheckState(0,
                                                 kept[size_t(row)] ? Qt::Checked : Qt::Unchecked);
    }
    m_listening = true;
    m_view.UpdateAllViews();
}

} // namespace tarnhollow::editor
