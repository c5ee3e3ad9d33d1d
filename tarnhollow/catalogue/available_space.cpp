// The Remove page's language and row lists and its available-expansion-ROM computation.
#include "tarnhollow/catalogue/available_space.h"

#include <algorithm>
#include <string_view>

#include "tarnhollow/catalogue/catalogue_text.h"

namespace tarnhollow {

using namespace catalogue_text;

namespace {

constexpr size_t kMaxLanguageLetters = 11;

// Every entry of every selected name: names in order, entries of a name in catalogue order.
std::vector<const DeviceEntry *> SelectedEntries(const DeviceCatalogue &catalogue,
                                                 const std::vector<std::string> &selectedNames) {
    std::vector<const DeviceEntry *> entries;
    for (const std::string &name : selectedNames) {
        for (const DeviceEntry *entry : EntriesNamed(catalogue, name)) {
            entries.push_back(entry);
        }
    }
    return entries;
}

std::string KeepLettersIn(const std::string &letters, const std::string &running) {
    std::string kept;
    for (char letter : letters) {
        if (running.find(letter) != std::string::npos) {
            kept += letter;
        }
    }
    return kept;
}

std::string DisplayName(std::string_view item) {
    Pos percent = Find(item, "%", 1);
    return std::string(Trim(percent >= 0 ? item.substr(0, static_cast<size_t>(percent)) : item));
}

// The "%"-separated database names of an item, each trimmed and followed by one space.  Every
// name but the last stops one character short of the next "%" (the separating space).
std::vector<std::string> DatabaseNames(std::string_view rest) {
    std::vector<std::string> names;
    for (Pos at = Find(rest, "%", 1); at >= 0; at = Find(rest, "%", 0)) {
        rest = Mid(rest, at + 1);
        Pos next = Find(rest, "%", 0);
        names.push_back(std::string(Trim(next <= 0 ? rest : Mid(rest, 0, next - 1))) + " ");
        rest = Mid(rest, next);
    }
    return names;
}

// The first remove item that, with one space put in front, contains the row text at position
// 1 or later: the same as containing it anywhere in the item itself.
const std::string *FirstRemoveItemFor(const DeviceEntry &entry, const std::string &rowText) {
    for (const std::string &item : entry.removeItems) {
        if (item.find(rowText) != std::string::npos) {
            return &item;
        }
    }
    return nullptr;
}

const std::string *LanguageItemFor(const DeviceEntry &entry, const std::string &languageText) {
    if (languageText == "Current") {
        return entry.languageItems.empty() ? nullptr : &entry.languageItems.front();
    }
    for (const std::string &item : entry.languageItems) {
        if (item.starts_with(languageText)) {
            return &item;
        }
    }
    return nullptr;
}

int32_t EntryAvailableKB(const DeviceEntry &entry, const std::vector<std::string> &checkedRowTexts,
                         const std::string &languageText) {
    std::set<std::string> counted;
    int64_t freed = 0;
    for (const std::string &rowText : checkedRowTexts) {
        if (const std::string *item = FirstRemoveItemFor(entry, rowText)) {
            freed += FreedBytes(" " + *item, rowText, entry, counted);
        }
    }
    if (!languageText.empty()) {
        if (const std::string *item = LanguageItemFor(entry, languageText)) {
            freed += FreedBytes(*item, languageText, entry, counted);
        }
    }
    int32_t used = Saturate(int64_t{entry.usedBytes} - freed);
    return AvailableKB(entry.flashBytes, used, entry.blockBytes);
}

} // namespace

std::string CommonLanguageLetters(const DeviceCatalogue &catalogue,
                                  const std::vector<std::string> &selectedNames) {
    std::string running;
    for (const DeviceEntry *entry : SelectedEntries(catalogue, selectedNames)) {
        running = running.empty() ? entry->languageLetters
                                  : KeepLettersIn(entry->languageLetters, running);
        running.resize(std::min(running.size(), kMaxLanguageLetters));
    }
    return running;
}

std::vector<std::string> RemoveListRows(const DeviceCatalogue &catalogue,
                                        const std::vector<std::string> &selectedNames) {
    std::vector<std::string> rows;
    for (const DeviceEntry *entry : SelectedEntries(catalogue, selectedNames)) {
        for (const std::string &item : entry->removeItems) {
            std::string row = DisplayName(item);
            if (std::find(rows.begin(), rows.end(), row) == rows.end()) {
                rows.push_back(std::move(row));
            }
        }
    }
    return rows;
}

std::optional<std::string> LanguageNameForLetter(char letter) {
    switch (letter) {
    case 'E':
        return "English";
    case 'F':
        return "French";
    case 'G':
        return "German";
    case 'I':
        return "Italian";
    case 'S':
        return "Spanish";
    case 'P':
    case 'B':
        return "Portuguese";
    default:
        return std::nullopt;
    }
}

std::vector<std::string> LanguageListTexts(const std::string &letters) {
    std::vector<std::string> texts{"All", "Current"};
    for (char letter : letters) {
        if (std::optional<std::string> name = LanguageNameForLetter(letter)) {
            texts.push_back(*name);
        }
    }
    return texts;
}

std::string LanguageCodeForText(const std::string &text) {
    if (text == "All") {
        return "0";
    }
    if (text == "Current") {
        return "-";
    }
    return text.substr(0, 1);
}

std::string LanguageTextForCode(const std::string &code) {
    if (code == "-") {
        return "Current";
    }
    if (code.size() == 1) {
        if (std::optional<std::string> name = LanguageNameForLetter(code[0])) {
            return *name;
        }
    }
    return "All";
}

int32_t FreedBytes(const std::string &itemText, const std::string &keyText,
                   const DeviceEntry &entry, std::set<std::string> &countedSet) {
    size_t space = keyText.find(' ');
    Pos keyWordLength = static_cast<Pos>(space == std::string::npos ? keyText.size() : space);
    int64_t freed = 0;
    for (const std::string &name : DatabaseNames(Mid(itemText, keyWordLength))) {
        if (!countedSet.insert(name).second) {
            continue;
        }
        for (const std::string &database : entry.romDatabases) {
            if (Trim(database).find(name) != std::string_view::npos) {
                // The same conversion as the entry's usedBytes, so no more is freed than counted.
                freed += RomItemSize(database);
                break;
            }
        }
    }
    return Saturate(freed);
}

int32_t ComputeAvailableKB(const DeviceCatalogue &catalogue,
                           const std::vector<std::string> &selectedNames,
                           const std::vector<std::string> &checkedRowTexts,
                           const std::string &languageText, int32_t baseAvailableKB) {
    std::optional<int32_t> smallest;
    for (const DeviceEntry *entry : SelectedEntries(catalogue, selectedNames)) {
        if (entry->blockBytes <= 0) {
            continue;
        }
        int32_t result = EntryAvailableKB(*entry, checkedRowTexts, languageText);
        smallest = smallest ? std::min(*smallest, result) : result;
    }
    int32_t value = smallest.value_or(0);
    return value >= 1 ? value : baseAvailableKB;
}

} // namespace tarnhollow
