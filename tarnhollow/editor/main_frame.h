// CMainFrame: the program's main window, holding the document windows, the File and Help menus
// with the recent files, a tool bar and a status bar with the keyboard lock indicators; its
// caption names the active document.  It creates, opens, saves and closes documents.
#pragma once

#include <QMainWindow>

#include <filesystem>
#include <memory>
#include <vector>

#include "tarnhollow/document/document_names.h"
#include "tarnhollow/document/recent_files.h"
#include "tarnhollow/document/tarnhollow_doc.h"
#include "tarnhollow/editor/editor_context.h"

class QAction;
class QLabel;
class QMdiArea;
class QMenu;

namespace tarnhollow::editor {

class CChildFrame;

inline constexpr const char *kSettingsOrganisation = "Tolvane Technologies Inc.";
inline constexpr const char *kSettingsApplication = "Tarnhollow";

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(EditorContext &context, QWidget *parent = nullptr);
    ~CMainFrame() override;

    // File commands.
    CChildFrame *OnFileNew();
    void OnFileOpen();
    // Opens the install file, or activates its window when it is open already; null when it
    // could not be opened.
    CChildFrame *OpenDocumentFile(const std::filesystem::path &path);
    bool OnFileSave();
    bool OnFileSaveAs();
    void OnFileClose();
    void OnOpenRecentFile(int index);
    void OnAppAbout();

    CChildFrame *ActiveFrame() const;
    std::vector<CChildFrame *> Frames() const;
    QMdiArea *MdiArea() const { return m_mdi; }
    const RecentFileList &RecentFiles() const { return m_recent; }
    // The recent-file entries of the File menu as shown.
    QList<QAction *> RecentFileActions() const { return m_recentActions; }
    QLabel *CapsIndicator() const { return m_caps; }
    QLabel *NumIndicator() const { return m_num; }
    QLabel *ScrollIndicator() const { return m_scroll; }
    void UpdateLockIndicators();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateBars();
    CChildFrame *AddFrame(std::unique_ptr<CTarnhollowDoc> doc, const QString &title);
    // Asks before unsaved changes are dropped; false keeps the document open.
    bool SaveModified(CChildFrame *frame);
    bool SaveFrame(CChildFrame *frame);
    bool SaveFrameAs(CChildFrame *frame);
    bool SaveTo(CChildFrame *frame, const std::filesystem::path &path);
    void OnFrameCloseRequested(CChildFrame *frame, bool *allowed);
    void UpdateMenus();
    // "Tarnhollow - TITLE" for the active document, "Tarnhollow" without one.
    void UpdateCaption();
    void LoadRecentFiles();
    void StoreRecentFiles();
    void RememberRecent(const std::filesystem::path &path);

    EditorContext &m_context;
    QMdiArea *m_mdi;
    UntitledNumbering m_numbering;
    RecentFileList m_recent;
    bool m_closing = false;

    QAction *m_new = nullptr;
    QAction *m_open = nullptr;
    QAction *m_close = nullptr;
    QAction *m_save = nullptr;
    QAction *m_saveAs = nullptr;
    QAction *m_recentPlaceholder = nullptr;
    QList<QAction *> m_recentActions;
    QAction *m_recentSeparator = nullptr;
    QAction *m_exit = nullptr;
    QAction *m_about = nullptr;
    QMenu *m_fileMenu = nullptr;
    QLabel *m_caps = nullptr;
    QLabel *m_num = nullptr;
    QLabel *m_scroll = nullptr;
};

} // namespace tarnhollow::editor
