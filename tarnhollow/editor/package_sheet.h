// PackageSheet: the tabbed sheet of pages that edits one document, without OK, Cancel or Apply.
// PackagePage is a page of it, with the activation hooks the sheet calls.
#pragma once

#include <QTabWidget>
#include <QWidget>

namespace tarnhollow::editor {

class CTarnhollowView;

class PackagePage : public QWidget {
    Q_OBJECT
public:
    PackagePage(CTarnhollowView &view, const QString &caption);

    const QString &caption() const { return m_caption; }

    // Runs OnInitDialog the first time, then OnSetActive.
    void Activate();
    // Runs OnInitDialog now if it has not run yet.
    void EnsureInitialised();
    bool IsInitialised() const { return m_initialised; }

    // Whether the sheet may move to another page; when not, OnLeaveRefused tells the user.
    virtual bool OnKillActive() { return true; }
    virtual void OnLeaveRefused() {}

protected:
    virtual void OnInitDialog() {}
    virtual void OnSetActive() {}

    CTarnhollowView &m_view;

private:
    QString m_caption;
    bool m_initialised = false;
};

class PackageSheet : public QTabWidget {
    Q_OBJECT
public:
    explicit PackageSheet(QWidget *parent = nullptr);

    void AddPage(PackagePage *page);
    PackagePage *Page(int index) const;
    // Makes the first page active (its OnInitDialog fills it).
    void Start();

private:
    void OnCurrentChanged(int index);

    int m_active = -1;
    bool m_reverting = false;
};

} // namespace tarnhollow::editor
