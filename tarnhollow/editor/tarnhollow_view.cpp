// The view: the sheet with its six pages, and the four summary values under it.
#include "tarnhollow/editor/tarnhollow_view.h"

#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "tarnhollow/editor/boot_config.h"
#include "tarnhollow/editor/config_tab.h"
#include "tarnhollow/editor/database_pages.h"
#include "tarnhollow/editor/device_config.h"
#include "tarnhollow/editor/package_sheet.h"
#include "tarnhollow/editor/remove_config.h"

namespace tarnhollow::editor {

namespace {

QLabel *ValueLabel(const char *name, QWidget *parent) {
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setMinimumWidth(80);
    return label;
}

} // namespace

CTarnhollowView::CTarnhollowView(EditorContext &context, CTarnhollowDoc &doc, QWidget *parent)
    : QWidget(parent), m_context(context), m_doc(doc), m_sheet(new PackageSheet(this)),
      m_devicePage(new CDeviceConfig(*this)), m_romPage(new CROMConfig(*this)),
      m_ramPage(new CRAMConfig(*this)), m_removePage(new CRemoveConfig(*this)),
      m_configPage(new CConfigTab(*this)), m_bootPage(new CBootConfig(*this)),
      m_available(ValueLabel("availableExpansionRom", this)),
      m_ramRequired(ValueLabel("ramRequired", this)),
      m_expansionRomRequired(ValueLabel("expansionRomRequired", this)),
      m_packageSize(ValueLabel("packageSize", this)) {
    m_sheet->AddPage(m_devicePage);
    m_sheet->AddPage(m_romPage);
    m_sheet->AddPage(m_ramPage);
    m_sheet->AddPage(m_removePage);
    m_sheet->AddPage(m_configPage);
    m_sheet->AddPage(m_bootPage);

    auto *summary = new QGridLayout;
    summary->setHorizontalSpacing(8);
    summary->addWidget(new QLabel(tr("Available Expansion ROM:"), this), 0, 0);
    summary->addWidget(m_available, 0, 1);
    summary->addWidget(new QLabel(tr("RAM Required:"), this), 0, 3);
    summary->addWidget(m_ramRequired, 0, 4);
    summary->addWidget(new QLabel(tr("Expansion ROM Required:"), this), 1, 0);
    summary->addWidget(m_expansionRomRequired, 1, 1);
    summary->addWidget(new QLabel(tr("Package Size:"), this), 1, 3);
    summary->addWidget(m_packageSize, 1, 4);
    summary->setColumnStretch(2, 1);
    summary->setColumnStretch(5, 0);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(m_sheet, 1);
    layout->addLayout(summary);
}

void CTarnhollowView::OnInitialUpdate() {
    m_sheet->Start();
    // The Remove page's defaults (Install Stubs on, all languages) belong to every new
    // package, whether or not the user ever opens that page before saving.
    m_removePage->EnsureInitialised();
    if (m_available->text().isEmpty()) {
        SetAvailableText(m_devicePage->OnFirstPaint());
    }
    ComputeSummary();
}

void CTarnhollowView::UpdateAllViews() {
    ComputeSummary();
    emit documentChanged();
}

void CTarnhollowView::ComputeSummary() {
    m_summary = ComputeSizeSummary(m_doc);
    m_ramRequired->setText(QString::fromStdString(m_summary.ramRequired));
    m_expansionRomRequired->setText(QString::fromStdString(m_summary.expansionRomRequired));
    m_packageSize->setText(QString::fromStdString(m_summary.packageSize));
}

void CTarnhollowView::SetAvailableText(const std::string &text) {
    m_available->setText(QString::fromStdString(text));
}

QString CTarnhollowView::AvailableText() const {
    return m_available->text();
}

} // namespace tarnhollow::editor
