// Device page: the catalogue's entries, checked for the devices the package is built for.
#include "tarnhollow/editor/device_config.h"

#include <QHeaderView>
#include <QLabel>
#include <QVBoxLayout>

#include "tarnhollow/document/document_names.h"
#include "tarnhollow/editor/palm_text_qt.h"
#include "tarnhollow/editor/tarnhollow_view.h"

namespace tarnhollow::editor {

namespace {
constexpr int kDeviceColumnWidth = 300;
}

CDeviceConfig::CDeviceConfig(CTarnhollowView &view)
    : PackagePage(view, tr("Device")), m_rules(view.GetDocument()), m_list(new QTreeWidget(this)) {
    m_list->setObjectName("deviceList");
    m_list->setHeaderLabels({tr("Device")});
    m_list->header()->setStretchLastSection(false);
    m_list->setColumnWidth(0, kDeviceColumnWidth);
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Supported Devices"), this));
    layout->addWidget(m_list);
    // A check box change is an item change; a mere change of the selected row is not one, so
    // clicking on a device name keeps the Remove page's choices.
    connect(m_list, &QTreeWidget::itemChanged, this, &CDeviceConfig::OnItemChanged);
}

void CDeviceConfig::OnInitDialog() {
    m_filled = false;
    const std::vector<std::string> rows = m_rules.RowTexts();
    const std::vector<bool> boxes = m_rules.Initialise();
    for (size_t row = 0; row < rows.size(); row++) {
        auto *item = new QTreeWidgetItem(m_list, {ShownPalmText(rows[row])});
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, row < boxes.size() && boxes[row] ? Qt::Checked : Qt::Unchecked);
    }
    m_filled = true;
}

std::vector<bool> CDeviceConfig::CheckedRows() const {
    std::vector<bool> boxes;
    for (int row = 0; row < m_list->topLevelItemCount(); row++) {
        boxes.push_back(m_list->topLevelItem(row)->checkState(0) == Qt::Checked);
    }
    return boxes;
}

void CDeviceConfig::OnItemChanged() {
    if (!m_filled) {
        return;
    }
    m_view.SetAvailableText(m_rules.OnRowsChanged(CheckedRows()));
    m_view.UpdateAllViews();
}

std::string CDeviceConfig::OnFirstPaint() {
    return m_rules.OnPaintWithEmptyAvailable();
}

bool CDeviceConfig::OnKillActive() {
    return m_rules.CanLeave();
}

void CDeviceConfig::OnLeaveRefused() {
    m_view.Dialogs().Inform(this, kSelectDeviceMessage, kApplicationTitle);
}

} // namespace tarnhollow::editor
