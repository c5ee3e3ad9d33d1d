// CDeviceConfig, the "Device" page: one checkable row per catalogue entry.
#pragma once

#include <QTreeWidget>

#include "tarnhollow/editor/package_sheet.h"
#include "tarnhollow/pages/device_page.h"

namespace tarnhollow::editor {

class CDeviceConfig : public PackagePage {
    Q_OBJECT
public:
    explicit CDeviceConfig(CTarnhollowView &view);

    bool OnKillActive() override;
    void OnLeaveRefused() override;
    // The view's first paint while its available value is empty; returns the text to show.
    std::string OnFirstPaint();

    QTreeWidget *DeviceList() const { return m_list; }

protected:
    void OnInitDialog() override;

private:
    void OnItemChanged();
    std::vector<bool> CheckedRows() const;

    DevicePageRules m_rules;
    QTreeWidget *m_list;
    bool m_filled = false;
};

} // namespace tarnhollow::editor
