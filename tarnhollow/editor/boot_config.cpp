// Boot Logo page: Set... checks and wraps a bitmap file, Clear returns to the default logo.
#include "tarnhollow/editor/boot_config.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "tarnhollow/document/document_names.h"
#include "tarnhollow/editor/bitmap_view.h"
#include "tarnhollow/editor/tarnhollow_view.h"
#include "tarnhollow/pages/boot_logo_page.h"

namespace tarnhollow::editor {

CBootConfig::CBootConfig(CTarnhollowView &view)
    : PackagePage(view, tr("Boot Logo")), m_picture(new QLabel(this)),
      m_set(new QPushButton(tr("Set..."), this)), m_clear(new QPushButton(tr("Clear"), this)) {
    m_picture->setObjectName("logoPicture");
    m_picture->setFrameShape(QFrame::Box);
    m_picture->setAlignment(Qt::AlignCenter);
    const int frame = 2 * m_picture->frameWidth();
    m_picture->setFixedSize(kLogoSide + frame, kLogoSide + frame);
    m_set->setObjectName("setButton");
    m_clear->setObjectName("clearButton");

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(m_set);
    buttons->addWidget(m_clear);
    buttons->addStretch(1);
    auto *layout = new QHBoxLayout(this);
    layout->addStretch(1);
    layout->addWidget(m_picture, 0, Qt::AlignTop);
    layout->addSpacing(16);
    layout->addLayout(buttons);
    layout->addStretch(1);

    connect(m_set, &QPushButton::clicked, this, &CBootConfig::OnSet);
    connect(m_clear, &QPushButton::clicked, this, &CBootConfig::OnClear);
}

void CBootConfig::OnSetActive() {
    ShowStoredBootLogo(m_view.GetDocument());
    ShowLogo();
}

void CBootConfig::ShowLogo() {
    m_picture->setPixmap(PixmapFor(m_view.GetDocument().m_bitmapHolder));
}

void CBootConfig::OnSet() {
    std::optional<std::filesystem::path> path =
        m_view.Dialogs().ChooseFileToOpen(this, kBitmapFilesFilter);
    if (!path) {
        return;
    }
    const SetLogoResult result =
        SetBootLogo(m_view.GetDocument(), *path, m_view.Context().temporaryRoot);
    if (std::optional<std::string> message = SetLogoMessage(result)) {
        m_view.Dialogs().Inform(this, QString::fromStdString(*message), kApplicationTitle);
        return;
    }
    if (result == SetLogoResult::Set) {
        ShowLogo();
        m_view.UpdateAllViews();
    }
}

void CBootConfig::OnClear() {
    if (m_view.Dialogs().AskOkCancel(this, kClearLogoQuestion, kClearLogoCaption) != Answer::Ok) {
        return;
    }
    if (ClearBootLogo(m_view.GetDocument())) {
        ShowLogo();
        m_view.UpdateAllViews();
    }
}

} // namespace tarnhollow::editor
