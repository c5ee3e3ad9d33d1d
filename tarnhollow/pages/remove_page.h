// The Remove page's rules: the built-in applications and languages of the selected devices that
// can be removed, the Install Stubs choice, and the expansion ROM that removing them frees.
#pragma once

#include <string>
#include <vector>

#include "tarnhollow/document/tarnhollow_doc.h"

namespace tarnhollow {

inline constexpr const char *kRemovePageFailure = "Exception in RemoveConfig OnSetActive";

// What the page shows.
struct RemovePageView {
    std::vector<std::string> rows; // removable applications
    std::vector<bool> checked;
    std::vector<std::string> languages; // "All", "Current", then the common languages
    size_t selectedLanguage = 0;
};

class RemovePageRules {
public:
    explicit RemovePageRules(CTarnhollowDoc &doc) : doc_(doc) {}

    // First showing: Install Stubs from a document read from a file, else on, with "All".
    void Initialise();

    // Activation: rebuilds the page when the device selection changed since it was built.
    // Returns true when it rebuilt.
    bool OnSetActive();

    // Check boxes changed: the removal list and the available expansion ROM follow them.
    void OnRowsChanged(const std::vector<bool> &checked);
    // A language was chosen from the list: the language code follows its text.
    void OnLanguageChosen(size_t index);
    void SetInstallStubs(bool on);

    const RemovePageView &View() const { return view_; }
    // "%dK" of m_expansionRomKB, as the view shows it.
    std::string AvailableText() const;

private:
    void Rebuild();
    void Recompute();
    std::string SelectedLanguageText() const;

    CTarnhollowDoc &doc_;
    RemovePageView view_;
    std::vector<std::string> selectedDevices_;
};

} // namespace tarnhollow
