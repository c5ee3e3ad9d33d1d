// Device page rules: selection, device identifiers and the available expansion ROM.
#include "tarnhollow/pages/device_page.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace tarnhollow {

namespace {
constexpr int32_t kNoDeviceMinimum = 268435455;
}

std::string KiloText(int32_t kilobytes) {
    return std::to_string(kilobytes) + "K";
}

std::vector<std::string> DevicePageRules::RowTexts() const {
    std::vector<std::string> rows;
    for (const auto &entry : *doc_.m_catalogue) {
        rows.push_back(entry->name);
    }
    return rows;
}

std::vector<bool> DevicePageRules::Initialise() {
    const DeviceCatalogue &catalogue = *doc_.m_catalogue;
    std::vector<bool> boxes(catalogue.size(), false);
    doc_.m_allDevicesMinKB = kNoDeviceMinimum;
    for (const auto &entry : catalogue) {
        doc_.m_allDevicesMinKB = std::min(doc_.m_allDevicesMinKB, entry->availableKB);
    }
    if (doc_.m_deviceIds.empty()) {
        return boxes;
    }
    std::set<std::string> ids(doc_.m_deviceIds.begin(), doc_.m_deviceIds.end());
    std::set<std::string> names;
    for (const auto &entry : catalogue) {
        if (ids.count(entry->deviceId) && names.insert(entry->name).second) {
            doc_.m_selectedDevices.push_back(entry->name);
        }
    }
    for (size_t row = 0; row < catalogue.size(); row++) {
        boxes[row] = names.count(catalogue[row]->name) != 0;
    }
    RebuildDeviceIds(boxes);
    return boxes;
}

void DevicePageRules::RebuildDeviceIds(const std::vector<bool> &boxes) {
    const DeviceCatalogue &catalogue = *doc_.m_catalogue;
    doc_.m_deviceIds.clear();
    for (size_t row = 0; row < boxes.size() && row < catalogue.size(); row++) {
        if (!boxes[row]) {
            continue;
        }
        for (const auto &entry : catalogue) {
            if (entry->name == catalogue[row]->name) {
                doc_.m_deviceIds.push_back(entry->deviceId);
            }
        }
    }
}

std::string DevicePageRules::OnRowsChanged(const std::vector<bool> &boxes) {
    const DeviceCatalogue &catalogue = *doc_.m_catalogue;
    doc_.m_deviceSelectionChanged = true;
    doc_.m_languageCode.assign(1, '0'); // "0": all languages
    doc_.m_removeList.clear();
    doc_.m_selectedDevices.clear();
    bool any = false;
    int32_t smallest = 0;
    for (size_t row = 0; row < boxes.size() && row < catalogue.size(); row++) {
        if (!boxes[row]) {
            continue;
        }
        doc_.m_selectedDevices.push_back(catalogue[row]->name);
        smallest =
            any ? std::min(smallest, catalogue[row]->availableKB) : catalogue[row]->availableKB;
        any = true;
    }
    RebuildDeviceIds(boxes);
    std::string available;
    if (any && smallest >= 0) {
        doc_.m_baseAvailableKB = smallest;
        doc_.m_expansionRomKB = smallest;
        available = KiloText(smallest);
    }
    doc_.SetModifiedFlag();
    return available;
}

std::string DevicePageRules::OnPaintWithEmptyAvailable() {
    doc_.m_deviceSelectionChanged = true;
    if (doc_.m_deviceIds.empty()) {
        return "";
    }
    doc_.m_baseAvailableKB = doc_.m_allDevicesMinKB;
    return KiloText(doc_.m_expansionRomKB);
}

} // namespace tarnhollow
