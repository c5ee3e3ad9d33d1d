// The child frame: title, modified mark and the question before it closes.
#include "tarnhollow/editor/child_frame.h"

#include <QCloseEvent>

#include "tarnhollow/document/document_names.h"
#include "tarnhollow/editor/about_dialog.h"
#include "tarnhollow/editor/tarnhollow_view.h"

namespace tarnhollow::editor {

CChildFrame::CChildFrame(EditorContext &context, std::unique_ptr<CTarnhollowDoc> doc,
                         const QString &title, QWidget *parent)
    : QMdiSubWindow(parent), m_doc(std::move(doc)), m_title(title) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(ApplicationIcon());
    setWindowFlags(Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    m_view = new CTarnhollowView(context, *m_doc, this);
    setWidget(m_view);
    setFixedSize(kWidth, kHeight);
    connect(m_view, &CTarnhollowView::documentChanged, this, &CChildFrame::RefreshModifiedMark);
    RefreshModifiedMark();
}

// The view refers to the document: it goes first.
CChildFrame::~CChildFrame() {
    delete m_view;
}

void CChildFrame::SetPathName(const std::filesystem::path &path) {
    m_path = path;
    m_title = QString::fromStdString(DocumentTitleFor(path));
    RefreshModifiedMark();
}

void CChildFrame::RefreshModifiedMark() {
    setWindowTitle(m_title + "[*]");
    setWindowModified(m_doc->IsModified());
}

void CChildFrame::closeEvent(QCloseEvent *event) {
    bool allowed = true;
    emit closeRequested(this, &allowed);
    if (allowed) {
        QMdiSubWindow::closeEvent(event);
    } else {
        event->ignore();
    }
}

} // namespace tarnhollow::editor
