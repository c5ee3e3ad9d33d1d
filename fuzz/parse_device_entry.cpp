// Fuzz target: arbitrary text read as a catalogue file, then the Remove page's computations on
// the entries it gave.  Nothing may crash, and every entry taken must consume text, so loading
// a file always ends.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tarnhollow/catalogue/available_space.h"
#include "tarnhollow/catalogue/device_catalogue.h"

using namespace tarnhollow;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    DeviceCatalogue catalogue;
    std::vector<std::string> names;
    while (std::unique_ptr<DeviceEntry> entry = ParseDeviceEntry(text)) {
        if (text.size() >= size) {
            std::abort();
        }
        size = text.size();
        if (std::find(names.begin(), names.end(), entry->name) == names.end()) {
            names.push_back(entry->name); // selected names are distinct, as on the Device page
        }
        // Entries with no valid block size stay in, to exercise the computation's own guard.
        catalogue.push_back(std::move(entry));
    }

    std::vector<std::string> rows = RemoveListRows(catalogue, names);
    std::string letters = CommonLanguageLetters(catalogue, names);
    if (letters.size() > 11) {
        std::abort();
    }
    std::vector<std::string> languages = LanguageListTexts(letters);
    languages.resize(std::min<size_t>(languages.size(), 3)); // "All", "Current", the first name
    languages.push_back("");
    for (const std::string &language : languages) {
        ComputeAvailableKB(catalogue, names, rows, language, 1);
        LanguageTextForCode(LanguageCodeForText(language));
    }
    return 0;
}
