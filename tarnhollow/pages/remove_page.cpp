// Remove page rules: rebuilding the rows and languages for the selected devices, and
// recomputing the available expansion ROM from the checked rows and the language.
#include "tarnhollow/pages/remove_page.h"

#include <algorithm>

#include "tarnhollow/catalogue/available_space.h"
#include "tarnhollow/pages/device_page.h"

namespace tarnhollow {

namespace {
constexpr size_t kAllLanguages = 0;
}

void RemovePageRules::Initialise() {
    if (!doc_.m_openedFromFile) {
        doc_.m_installStubs = true;
        doc_.m_languageCode = "0";
    }
}

bool RemovePageRules::OnSetActive() {
    if (!doc_.m_deviceSelectionChanged) {
        return false;
    }
    doc_.m_deviceSelectionChanged = false;
    Rebuild();
    return true;
}

void RemovePageRules::Rebuild() {
    view_.rows.clear();
    view_.checked.clear();
    selectedDevices_ = doc_.m_selectedDevices;
    if (selectedDevices_.empty()) {
        Recompute();
        return;
    }
    const DeviceCatalogue &catalogue = *doc_.m_catalogue;
    view_.rows = RemoveListRows(catalogue, selectedDevices_);
    for (const std::string &row : view_.rows) {
        bool listed = std::find(doc_.m_removeList.begin(), doc_.m_removeList.end(), row) !=
                      doc_.m_removeList.end();
        view_.checked.push_back(listed);
    }
    view_.languages = LanguageListTexts(CommonLanguageLetters(catalogue, selectedDevices_));
    view_.selectedLanguage = kAllLanguages;
    const std::string &code = doc_.m_languageCode;
    if (!code.empty() && code != "0") {
        auto named =
            std::find(view_.languages.begin(), view_.languages.end(), LanguageTextForCode(code));
        if (named != view_.languages.end()) {
            view_.selectedLanguage = static_cast<size_t>(named - view_.languages.begin());
        }
    } else {
        doc_.m_languageCode = "0";
    }
    Recompute();
}

std::string RemovePageRules::SelectedLanguageText() const {
    if (view_.selectedLanguage >= view_.languages.size()) {
        return "";
    }
    return view_.languages[view_.selectedLanguage];
}

void RemovePageRules::Recompute() {
    std::vector<std::string> checkedRows;
    for (size_t row = 0; row < view_.rows.size(); row++) {
        if (row < view_.checked.size() && view_.checked[row]) {
            checkedRows.push_back(view_.rows[row]);
        }
    }
    doc_.m_removeList.clear();
    doc_.m_expansionRomKB = ComputeAvailableKB(*doc_.m_catalogue, selectedDevices_, checkedRows,
                                               SelectedLanguageText(), doc_.m_baseAvailableKB);
    doc_.m_removeList = checkedRows;
}

void RemovePageRules::OnRowsChanged(const std::vector<bool> &checked) {
    view_.checked = checked;
    view_.checked.resize(view_.rows.size(), false);
    Recompute();
    doc_.SetModifiedFlag();
}

void RemovePageRules::OnLanguageChosen(size_t index) {
    view_.selectedLanguage = index;
    std::string text = view_.languages.size() < 2 ? "" : SelectedLanguageText();
    doc_.m_languageCode = LanguageCodeForText(text);
    Recompute();
    doc_.SetModifiedFlag();
}

void RemovePageRules::SetInstallStubs(bool on) {
    doc_.m_installStubs = on;
    doc_.SetModifiedFlag();
}

std::string RemovePageRules::AvailableText() const {
    return KiloText(doc_.m_expansionRomKB);
}

} // namespace tarnhollow
