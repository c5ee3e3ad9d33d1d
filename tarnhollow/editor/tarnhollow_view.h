// CTarnhollowView: the document's view, PackageSheet at its top left above the size summary.
#pragma once

#include <QWidget>

#include "tarnhollow/document/tarnhollow_doc.h"
#include "tarnhollow/editor/editor_context.h"
#include "tarnhollow/pages/size_summary.h"

class QLabel;

namespace tarnhollow::editor {

class PackageSheet;
class CDeviceConfig;
class CROMConfig;
class CRAMConfig;
class CRemoveConfig;
class CConfigTab;
class CBootConfig;

class CTarnhollowView : public QWidget {
    Q_OBJECT
public:
    CTarnhollowView(EditorContext &context, CTarnhollowDoc &doc, QWidget *parent = nullptr);

    // The first update: the Device page fills itself, a document read from a file shows its
    // stored available expansion ROM, and the summary is computed.
    void OnInitialUpdate();
    // After every change of the document: the summary again, and the modified mark.
    void UpdateAllViews();

    CTarnhollowDoc &GetDocument() { return m_doc; }
    EditorContext &Context() { return m_context; }
    EditorDialogs &Dialogs() { return *m_context.dialogs; }

    // The "Available Expansion ROM:" value, written by the Device and Remove pages.
    void SetAvailableText(const std::string &text);
    QString AvailableText() const;

    PackageSheet *Sheet() const { return m_sheet; }
    CDeviceConfig *DevicePage() const { return m_devicePage; }
    CROMConfig *RomPage() const { return m_romPage; }
    CRAMConfig *RamPage() const { return m_ramPage; }
    CRemoveConfig *RemovePage() const { return m_removePage; }
    CConfigTab *ConfigPage() const { return m_configPage; }
    CBootConfig *BootPage() const { return m_bootPage; }

    QLabel *AvailableValue() const { return m_available; }
    QLabel *RamRequiredValue() const { return m_ramRequired; }
    QLabel *ExpansionRomRequiredValue() const { return m_expansionRomRequired; }
    QLabel *PackageSizeValue() const { return m_packageSize; }
    const SizeSummary &Summary() const { return m_summary; }

signals:
    void documentChanged();

private:
    void ComputeSummary();

    EditorContext &m_context;
    CTarnhollowDoc &m_doc;
    PackageSheet *m_sheet;
    CDeviceConfig *m_devicePage;
    CROMConfig *m_romPage;
    CRAMConfig *m_ramPage;
    CRemoveConfig *m_removePage;
    CConfigTab *m_configPage;
    CBootConfig *m_bootPage;
    QLabel *m_available;
    QLabel *m_ramRequired;
    QLabel *m_expansionRomRequired;
    QLabel *m_packageSize;
    SizeSummary m_summary;
};

} // namespace tarnhollow::editor
