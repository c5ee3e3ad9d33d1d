// CChildFrame: one document's window inside the main frame, of fixed size and never maximised.
// It owns the document and its view.
#pragma once

#include <QMdiSubWindow>

#include <filesystem>
#include <memory>

#include "tarnhollow/document/tarnhollow_doc.h"
#include "tarnhollow/editor/editor_context.h"

namespace tarnhollow::editor {

class CTarnhollowView;

class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    static constexpr int kWidth = 600;
    static constexpr int kHeight = 475;

    CChildFrame(EditorContext &context, std::unique_ptr<CTarnhollowDoc> doc, const QString &title,
                QWidget *parent = nullptr);
    ~CChildFrame() override;

    CTarnhollowDoc &Document() { return *m_doc; }
    CTarnhollowView *View() const { return m_view; }

    const std::filesystem::path &PathName() const { return m_path; }
    // The document now lives at path; its title becomes the file name.
    void SetPathName(const std::filesystem::path &path);
    QString Title() const { return m_title; }
    // The title with the modified mark follows the document.
    void RefreshModifiedMark();

signals:
    // Asks whether the window may close; the handler clears `allowed` to keep it open.
    void closeRequested(CChildFrame *frame, bool *allowed);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    std::unique_ptr<CTarnhollowDoc> m_doc;
    CTarnhollowView *m_view;
    std::filesystem::path m_path;
    QString m_title;
};

} // namespace tarnhollow::editor
