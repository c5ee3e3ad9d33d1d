// The sheet: one page active at a time; a page may refuse to be left.
#include "tarnhollow/editor/package_sheet.h"

namespace tarnhollow::editor {

PackagePage::PackagePage(CTarnhollowView &view, const QString &caption)
    : m_view(view), m_caption(caption) {}

void PackagePage::Activate() {
    EnsureInitialised();
    OnSetActive();
}

void PackagePage::EnsureInitialised() {
    if (!m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
}

PackageSheet::PackageSheet(QWidget *parent) : QTabWidget(parent) {
    setObjectName("PackageSheet");
    connect(this, &QTabWidget::currentChanged, this, &PackageSheet::OnCurrentChanged);
}

void PackageSheet::AddPage(PackagePage *page) {
    addTab(page, page->caption());
}

PackagePage *PackageSheet::Page(int index) const {
    return qobject_cast<PackagePage *>(widget(index));
}

void PackageSheet::Start() {
    m_active = currentIndex();
    if (PackagePage *page = Page(m_active)) {
        page->Activate();
    }
}

// The tab has already switched when this runs; a refusal switches back before the new page
// does anything, then explains.
void PackageSheet::OnCurrentChanged(int index) {
    if (m_reverting || m_active < 0 || index == m_active) {
        return;
    }
    PackagePage *leaving = Page(m_active);
    if (leaving != nullptr && !leaving->OnKillActive()) {
        m_reverting = true;
        setCurrentIndex(m_active);
        m_reverting = false;
        leaving->OnLeaveRefused();
        return;
    }
    m_active = index;
    if (PackagePage *page = Page(index)) {
        page->Activate();
    }
}

} // namespace tarnhollow::editor
