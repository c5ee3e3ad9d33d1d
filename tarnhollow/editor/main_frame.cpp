// The main frame: document management, menus, bars and the recent-file list.
#include "tarnhollow/editor/main_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

#include "tarnhollow/editor/about_dialog.h"
#include "tarnhollow/editor/child_frame.h"
#include "tarnhollow/editor/tarnhollow_view.h"
#include "tarnhollow/pages/lock_indicators.h"

namespace tarnhollow::editor {

namespace fs = std::filesystem;

namespace {

constexpr int kLeft = 50, kTop = 50, kWidth = 700, kHeight = 600;
constexpr int kLockPollMilliseconds = 500;
constexpr const char *kRecentGroup = "Recent File List";

QString Text(const std::string &text) {
    return QString::fromStdString(text);
}

QLabel *Indicator(const char *name, QWidget *parent) {
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignCenter);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance("SCRL") + 12);
    return label;
}

} // namespace

CMainFrame::CMainFrame(EditorContext &context, QWidget *parent)
    : QMainWindow(parent), m_context(context), m_mdi(new QMdiArea(this)) {
    setWindowIcon(ApplicationIcon());
    setGeometry(kLeft, kTop, kWidth, kHeight);
    m_mdi->setObjectName("mdiArea");
    setCentralWidget(m_mdi);
    CreateActions();
    CreateMenus();
    CreateBars();
    LoadRecentFiles();
    connect(m_mdi, &QMdiArea::subWindowActivated, this, &CMainFrame::UpdateMenus);
    UpdateMenus();
}

// The document windows outlive this part of the frame; their last signals must not reach it.
CMainFrame::~CMainFrame() {
    disconnect(m_mdi, nullptr, this, nullptr);
    for (CChildFrame *frame : Frames()) {
        disconnect(frame, nullptr, this, nullptr);
    }
}

void CMainFrame::CreateActions() {
    auto action = [this](const QString &text, const QString &tip) {
        auto *created = new QAction(text, this);
        created->setStatusTip(tip);
        return created;
    };
    m_new = action(tr("&New"), tr("Create a new document"));
    m_new->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    m_new->setIcon(style()->standardIcon(QStyle::SP_FileIcon));
    m_open = action(tr("&Open..."), tr("Open an existing document"));
    m_open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    m_open->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    m_close = action(tr("&Close"), tr("Close the active document"));
    m_save = action(tr("&Save"), tr("Save the active document"));
    m_save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    m_save->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    m_saveAs = action(tr("Save &As..."), tr("Save the active document with a new name"));
    m_exit = action(tr("E&xit"), tr("Quit the application; prompts to save documents"));
    m_about = action(tr("&About Tarnhollow..."),
                     tr("Display program information, version number and copyright"));
    m_recentPlaceholder = action(kRecentFilePlaceholder, QString());
    m_recentPlaceholder->setEnabled(false);
    for (size_t i = 0; i < kRecentFileCount; i++) {
        QAction *recent = action(QString(), tr("Open this document"));
        const int index = int(i);
        connect(recent, &QAction::triggered, this, [this, index] { OnOpenRecentFile(index); });
        m_recentActions.append(recent);
    }
    connect(m_new, &QAction::triggered, this, &CMainFrame::OnFileNew);
    connect(m_open, &QAction::triggered, this, &CMainFrame::OnFileOpen);
    connect(m_close, &QAction::triggered, this, &CMainFrame::OnFileClose);
    connect(m_save, &QAction::triggered, this, &CMainFrame::OnFileSave);
    connect(m_saveAs, &QAction::triggered, this, &CMainFrame::OnFileSaveAs);
    connect(m_exit, &QAction::triggered, this, &QWidget::close);
    connect(m_about, &QAction::triggered, this, &CMainFrame::OnAppAbout);
}

void CMainFrame::CreateMenus() {
    m_fileMenu = menuBar()->addMenu(tr("&File"));
    m_fileMenu->addAction(m_new);
    m_fileMenu->addAction(m_open);
    m_fileMenu->addAction(m_close);
    m_fileMenu->addAction(m_save);
    m_fileMenu->addAction(m_saveAs);
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(m_recentPlaceholder);
    m_fileMenu->addActions(m_recentActions);
    m_recentSeparator = m_fileMenu->addSeparator();
    m_fileMenu->addAction(m_exit);
    QMenu *help = menuBar()->addMenu(tr("&Help"));
    help->addAction(m_about);
}

// The tool bar carries New, Open and Save; the status bar shows command help and the locks.
void CMainFrame::CreateBars() {
    QToolBar *tools = addToolBar(tr("Standard"));
    tools->setObjectName("toolBar");
    tools->setMovable(true);
    tools->setFloatable(true);
    tools->setAllowedAreas(Qt::AllToolBarAreas);
    tools->addAction(m_new);
    tools->addAction(m_open);
    tools->addAction(m_save);

    m_caps = Indicator("capsLock", this);
    m_num = Indicator("numLock", this);
    m_scroll = Indicator("scrollLock", this);
    statusBar()->addPermanentWidget(m_caps);
    statusBar()->addPermanentWidget(m_num);
    statusBar()->addPermanentWidget(m_scroll);
    statusBar()->showMessage(tr("Ready"));
    UpdateLockIndicators();
    auto *poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, &CMainFrame::UpdateLockIndicators);
    poll->start(kLockPollMilliseconds);
}

void CMainFrame::UpdateLockIndicators() {
    const LockStates states = ReadLockStates(m_context.ledsFolder);
    m_caps->setText(Text(CapsLockText(states)));
    m_num->setText(Text(NumLockText(states)));
    m_scroll->setText(Text(ScrollLockText(states)));
}

// With no document the File menu has no Close, Save or Save As, and nothing after the recent
// files but Exit.
void CMainFrame::UpdateMenus() {
    UpdateCaption();
    const bool hasDocument = ActiveFrame() != nullptr;
    m_close->setVisible(hasDocument);
    m_save->setVisible(hasDocument);
    m_saveAs->setVisible(hasDocument);
    m_recentSeparator->setVisible(hasDocument);
    const std::vector<std::string> &files = m_recent.Files();
    m_recentPlaceholder->setVisible(files.empty());
    for (int i = 0; i < m_recentActions.size(); i++) {
        QAction *recent = m_recentActions[i];
        const bool used = size_t(i) < files.size();
        recent->setVisible(used);
        if (used) {
            recent->setText(Text(RecentFileMenuText(size_t(i), files[size_t(i)])));
        }
    }
}

void CMainFrame::UpdateCaption() {
    const CChildFrame *active = ActiveFrame();
    setWindowTitle(Text(FrameCaption(active ? active->Title().toStdString() : std::string())));
}

CChildFrame *CMainFrame::ActiveFrame() const {
    if (QMdiSubWindow *active = m_mdi->currentSubWindow()) {
        return qobject_cast<CChildFrame *>(active);
    }
    // Without a focused window (for example while the program is in the background) the
    // topmost document still counts.
    const QList<QMdiSubWindow *> windows = m_mdi->subWindowList(QMdiArea::StackingOrder);
    return windows.isEmpty() ? nullptr : qobject_cast<CChildFrame *>(windows.last());
}

std::vector<CChildFrame *> CMainFrame::Frames() const {
    std::vector<CChildFrame *> frames;
    for (QMdiSubWindow *window : m_mdi->subWindowList()) {
        if (auto *frame = qobject_cast<CChildFrame *>(window)) {
            frames.push_back(frame);
        }
    }
    return frames;
}

CChildFrame *CMainFrame::AddFrame(std::unique_ptr<CTarnhollowDoc> doc, const QString &title) {
    auto *frame = new CChildFrame(m_context, std::move(doc), title);
    connect(frame, &CChildFrame::closeRequested, this, &CMainFrame::OnFrameCloseRequested);
    // A save under a new name retitles the document.
    connect(frame, &QWidget::windowTitleChanged, this, &CMainFrame::UpdateCaption);
    connect(frame, &QObject::destroyed, this,
            [this] { QTimer::singleShot(0, this, [this] { UpdateMenus(); }); });
    m_mdi->addSubWindow(frame);
    frame->View()->OnInitialUpdate();
    frame->RefreshModifiedMark();
    frame->show();
    m_mdi->setActiveSubWindow(frame);
    UpdateMenus();
    return frame;
}

CChildFrame *CMainFrame::OnFileNew() {
    auto doc = std::make_unique<CTarnhollowDoc>(m_context.catalogue, m_context.components);
    if (!doc->OnNewDocument()) {
        return nullptr;
    }
    return AddFrame(std::move(doc), Text(m_numbering.NextTitle()));
}

void CMainFrame::OnFileOpen() {
    if (std::optional<fs::path> path =
            m_context.dialogs->ChooseFileToOpen(this, kInstallFilesFilter)) {
        OpenDocumentFile(*path);
    }
}

CChildFrame *CMainFrame::OpenDocumentFile(const fs::path &path) {
    for (CChildFrame *frame : Frames()) {
        if (!frame->PathName().empty() && SameFile(frame->PathName(), path)) {
            m_mdi->setActiveSubWindow(frame);
            return frame;
        }
    }
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        m_context.dialogs->Inform(this, kOpenFailedDocumentText, kApplicationTitle,
                                  BoxIcon::Warning);
        m_recent.Remove(path.string());
        StoreRecentFiles();
        UpdateMenus();
        return nullptr;
    }
    auto doc = std::make_unique<CTarnhollowDoc>(m_context.catalogue, m_context.components);
    OwnedMessageBoxes boxes(*m_context.dialogs, this);
    if (!doc->OnOpenDocument(path, boxes)) {
        return nullptr;
    }
    doc->SetModifiedFlag(false);
    CChildFrame *frame = AddFrame(std::move(doc), QString());
    frame->SetPathName(path);
    RememberRecent(path);
    return frame;
}

bool CMainFrame::OnFileSave() {
    CChildFrame *frame = ActiveFrame();
    return frame != nullptr && SaveFrame(frame);
}

bool CMainFrame::OnFileSaveAs() {
    CChildFrame *frame = ActiveFrame();
    return frame != nullptr && SaveFrameAs(frame);
}

bool CMainFrame::SaveFrame(CChildFrame *frame) {
    return frame->PathName().empty() ? SaveFrameAs(frame) : SaveTo(frame, frame->PathName());
}

// A new document is saved under a name the user chooses.
bool CMainFrame::SaveFrameAs(CChildFrame *frame) {
    const fs::path suggested =
        frame->PathName().empty() ? fs::path(frame->Title().toStdString()) : frame->PathName();
    std::optional<fs::path> chosen =
        m_context.dialogs->ChooseFileToSave(this, kInstallFilesFilter, suggested);
    return chosen && SaveTo(frame, *chosen);
}

bool CMainFrame::SaveTo(CChildFrame *frame, const fs::path &path) {
    OwnedMessageBoxes boxes(*m_context.dialogs, this);
    const bool saved = frame->Document().OnSaveDocument(path, boxes);
    if (saved) {
        frame->SetPathName(PackagePathFor(path));
        RememberRecent(frame->PathName());
    }
    frame->RefreshModifiedMark();
    return saved;
}

void CMainFrame::OnFileClose() {
    if (CChildFrame *frame = ActiveFrame()) {
        frame->close();
    }
}

void CMainFrame::OnOpenRecentFile(int index) {
    const std::vector<std::string> &files = m_recent.Files();
    if (index >= 0 && size_t(index) < files.size()) {
        OpenDocumentFile(fs::path(files[size_t(index)]));
    }
}

void CMainFrame::OnAppAbout() {
    m_context.dialogs->ShowAbout(this, QString::fromStdString(m_context.catalogueFolderText));
}

bool CMainFrame::SaveModified(CChildFrame *frame) {
    if (!frame->Document().IsModified()) {
        return true;
    }
    m_mdi->setActiveSubWindow(frame);
    switch (m_context.dialogs->AskYesNoCancel(
        this, Text(SaveChangesQuestion(frame->Title().toStdString())), kApplicationTitle)) {
    case Answer::Yes:
        return SaveFrame(frame);
    case Answer::No:
        return true;
    default:
        return false;
    }
}

void CMainFrame::OnFrameCloseRequested(CChildFrame *frame, bool *allowed) {
    *allowed = m_closing || SaveModified(frame);
}

void CMainFrame::closeEvent(QCloseEvent *event) {
    for (CChildFrame *frame : Frames()) {
        if (!SaveModified(frame)) {
            event->ignore();
            return;
        }
    }
    m_closing = true;
    m_mdi->closeAllSubWindows();
    StoreRecentFiles();
    event->accept();
}

void CMainFrame::LoadRecentFiles() {
    QSettings settings(kSettingsOrganisation, kSettingsApplication);
    settings.beginGroup(kRecentGroup);
    std::vector<std::string> stored;
    for (size_t i = 1; i <= kRecentFileCount; i++) {
        stored.push_back(settings.value(QString("File%1").arg(i)).toString().toStdString());
    }
    m_recent.Load(stored);
}

void CMainFrame::StoreRecentFiles() {
    QSettings settings(kSettingsOrganisation, kSettingsApplication);
    settings.beginGroup(kRecentGroup);
    const std::vector<std::string> &files = m_recent.Files();
    for (size_t i = 0; i < kRecentFileCount; i++) {
        const QString key = QString("File%1").arg(i + 1);
        if (i < files.size()) {
            settings.setValue(key, Text(files[i]));
        } else {
            settings.remove(key);
        }
    }
}

void CMainFrame::RememberRecent(const fs::path &path) {
    std::error_code error;
    fs::path absolute = fs::absolute(path, error);
    m_recent.Add((error ? path : absolute).lexically_normal().string());
    StoreRecentFiles();
    UpdateMenus();
}

} // namespace tarnhollow::editor
