// Config page: every control writes its field straight into the document.
#include "tarnhollow/editor/config_tab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "tarnhollow/document/document_names.h"
#include "tarnhollow/editor/palm_text_qt.h"
#include "tarnhollow/editor/tarnhollow_view.h"
#include "tarnhollow/pages/config_page.h"

namespace tarnhollow::editor {

namespace {

template <typename Widget> Widget *Named(Widget *widget, const char *name) {
    widget->setObjectName(name);
    return widget;
}

} // namespace

CConfigTab::CConfigTab(CTarnhollowView &view)
    : PackagePage(view, tr("Config")), m_packageName(Named(new QLineEdit(this), "packageName")),
      m_autoInstall(Named(new QCheckBox(tr("Auto Install"), this), "autoInstall")),
      m_launch(Named(new QComboBox(this), "launchList")),
      m_uninstaller(Named(new QCheckBox(tr("Create Uninstaller"), this), "createUninstaller")),
      m_erase(Named(new QCheckBox(tr("Erase Expansion ROM"), this), "eraseExpansionRom")),
      m_preinstall(Named(new QLineEdit(this), "preinstall")),
      m_browse(Named(new QPushButton(tr("Browse"), this), "browseButton")) {
    m_packageName->setMaxLength(int(kPackageNameLimit));
    m_preinstall->setReadOnly(true);

    auto *launcher = new QGroupBox(tr("Launcher Info"), this);
    auto *launcherLayout = new QGridLayout(launcher);
    launcherLayout->addWidget(new QLabel(tr("Package Name"), launcher), 0, 0);
    launcherLayout->addWidget(m_packageName, 0, 1);
    launcherLayout->addWidget(m_autoInstall, 1, 1);

    auto *launch = new QGroupBox(tr("Auto Launch Applications"), this);
    auto *launchLayout = new QGridLayout(launch);
    launchLayout->addWidget(new QLabel(tr("Application To Launch After Reset"), launch), 0, 0);
    launchLayout->addWidget(m_launch, 0, 1);
    launchLayout->setColumnStretch(1, 1);

    auto *others = new QGroupBox(tr("Others"), this);
    auto *othersLayout = new QVBoxLayout(others);
    othersLayout->addWidget(m_uninstaller);
    othersLayout->addWidget(m_erase);

    auto *preinstall = new QGroupBox(tr("Preinstall Application"), this);
    auto *preinstallLayout = new QHBoxLayout(preinstall);
    preinstallLayout->addWidget(m_preinstall, 1);
    preinstallLayout->addWidget(m_browse);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(launcher);
    layout->addWidget(launch);
    layout->addWidget(others);
    layout->addWidget(preinstall);
    layout->addStretch(1);

    connect(m_packageName, &QLineEdit::textEdited, this, &CConfigTab::OnPackageNameEdited);
    connect(m_autoInstall, &QCheckBox::clicked, this, [this](bool on) {
        SetAutoInstall(m_view.GetDocument(), on);
        Changed();
    });
    connect(m_uninstaller, &QCheckBox::clicked, this, [this](bool on) {
        SetCreateUninstaller(m_view.GetDocument(), on);
        Changed();
    });
    connect(m_erase, &QCheckBox::clicked, this, [this](bool on) {
        SetEraseExpansionRom(m_view.GetDocument(), on);
        Changed();
    });
    connect(m_launch, &QComboBox::currentIndexChanged, this, &CConfigTab::OnLaunchChanged);
    connect(m_browse, &QPushButton::clicked, this, &CConfigTab::OnBrowse);
}

void CConfigTab::OnInitDialog() {
    const CTarnhollowDoc &doc = m_view.GetDocument();
    m_uninstaller->setChecked(doc.m_createUninstaller);
    m_packageName->setText(ShownPalmText(doc.m_packageName));
    m_preinstall->setText(doc.m_hasPreinstall ? ShownPalmText(doc.m_preinstallName) : "");
    m_erase->setChecked(doc.m_eraseExpansionRom);
    m_autoInstall->setChecked(doc.m_autoInstall);
}

void CConfigTab::OnSetActive() {
    const CTarnhollowDoc &doc = m_view.GetDocument();
    m_launchItems = LaunchListItems(doc);
    m_filling = true;
    m_launch->clear();
    for (const std::string &item : m_launchItems) {
        m_launch->addItem(ShownPalmText(item));
    }
    const std::optional<size_t> selected = LaunchSelection(doc, m_launchItems);
    m_launch->setCurrentIndex(selected ? int(*selected) : -1);
    m_filling = false;
}

void CConfigTab::OnPackageNameEdited(const QString &text) {
    CTarnhollowDoc &doc = m_view.GetDocument();
    const PalmTextEncoding typed = TypedPalmText(text);
    if (!typed.palm) {
        const QString stored = ShownPalmText(doc.m_packageName);
        const int cursor = m_packageName->cursorPosition() - int(text.size() - stored.size());
        m_packageName->setText(stored);
        m_packageName->setCursorPosition(std::max(cursor, 0));
        m_view.Dialogs().Inform(this, QString::fromStdString(NoPalmFormText(typed.refused)),
                                kApplicationTitle, BoxIcon::Warning);
        return;
    }
    SetPackageName(doc, *typed.palm);
    Changed();
}

void CConfigTab::OnLaunchChanged(int index) {
    if (m_filling || index < 0 || size_t(index) >= m_launchItems.size()) {
        return;
    }
    ChooseLaunch(m_view.GetDocument(), m_launchItems[size_t(index)]);
    Changed();
}

void CConfigTab::OnBrowse() {
    std::optional<std::filesystem::path> path =
        m_view.Dialogs().ChooseFileToOpen(this, kPreinstallFilter);
    if (!path) {
        return;
    }
    m_preinstall->setText(ShownPalmText(ChoosePreinstall(m_view.GetDocument(), *path)));
    Changed();
}

void CConfigTab::Changed() {
    m_view.UpdateAllViews();
}

} // namespace tarnhollow::editor
