// Remove page: rebuilt for every new device selection, recomputing the available expansion
// ROM on every change.
#include "tarnhollow/editor/remove_config.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QVBoxLayout>

#include "tarnhollow/document/document_names.h"
#include "tarnhollow/editor/palm_text_qt.h"
#include "tarnhollow/editor/tarnhollow_view.h"

namespace tarnhollow::editor {

namespace {
constexpr int kNameColumnWidth = 220;
}

CRemoveConfig::CRemoveConfig(CTarnhollowView &view)
    : PackagePage(view, tr("Remove")), m_rules(view.GetDocument()), m_list(new QTreeWidget(this)),
      m_languages(new QComboBox(this)), m_stubs(new QCheckBox(tr("Install Stubs"), this)) {
    m_list->setObjectName("removeList");
    m_list->setHeaderLabels({tr("Name")});
    m_list->header()->setStretchLastSection(false);
    m_list->setColumnWidth(0, kNameColumnWidth);
    m_list->setRootIsDecorated(false);
    m_languages->setObjectName("languages");
    m_languages->setMinimumWidth(160);
    m_stubs->setObjectName("installStubs");

    auto *options = new QHBoxLayout;
    options->addWidget(new QLabel(tr("Languages"), this));
    options->addWidget(m_languages);
    options->addSpacing(24);
    options->addWidget(m_stubs);
    options->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Remove From System ROM"), this));
    layout->addWidget(m_list, 1);
    layout->addLayout(options);

    connect(m_list, &QTreeWidget::itemChanged, this, &CRemoveConfig::OnItemChanged);
    connect(m_languages, &QComboBox::activated, this, &CRemoveConfig::OnLanguageChosen);
    connect(m_stubs, &QCheckBox::clicked, this, &CRemoveConfig::OnStubsClicked);
}

void CRemoveConfig::OnInitDialog() {
    m_rules.Initialise();
    m_stubs->setChecked(m_view.GetDocument().m_installStubs);
}

void CRemoveConfig::OnSetActive() {
    try {
        if (m_rules.OnSetActive()) {
            ShowRules();
            m_view.SetAvailableText(m_rules.AvailableText());
        }
    } catch (const std::exception &) {
        m_listening = true;
        m_view.Dialogs().Inform(this, kRemovePageFailure, kApplicationTitle);
    }
}

void CRemoveConfig::ShowRules() {
    m_listening = false;
    const RemovePageView &shown = m_rules.View();
    m_list->clear();
    for (size_t row = 0; row < shown.rows.size(); row++) {
        auto *item = new QTreeWidgetItem(m_list, {ShownPalmText(shown.rows[row])});
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        const bool checked = row < shown.checked.size() && shown.checked[row];
        item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    }
    m_languages->clear();
    for (const std::string &language : shown.languages) {
        m_languages->addItem(ShownPalmText(language));
    }
    m_languages->setCurrentIndex(shown.languages.empty() ? -1 : int(shown.selectedLanguage));
    m_listening = true;
}

void CRemoveConfig::OnItemChanged() {
    if (!m_listening) {
        return;
    }
    std::vector<bool> checked;
    for (int row = 0; row < m_list->topLevelItemCount(); row++) {
        checked.push_back(m_list->topLevelItem(row)->checkState(0) == Qt::Checked);
    }
    m_rules.OnRowsChanged(checked);
    m_view.SetAvailableText(m_rules.AvailableText());
    m_view.UpdateAllViews();
}

void CRemoveConfig::OnLanguageChosen(int index) {
    if (index < 0) {
        return;
    }
    m_rules.OnLanguageChosen(size_t(index));
    m_view.SetAvailableText(m_rules.AvailableText());
    m_view.UpdateAllViews();
}

void CRemoveConfig::OnStubsClicked(bool checked) {
    m_rules.SetInstallStubs(checked);
    m_view.UpdateAllViews();
}

} // namespace tarnhollow::editor
