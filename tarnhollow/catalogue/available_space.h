// The Remove page's computations without the page: the language letters and remove rows the
// selected devices offer, the language texts and codes, and the expansion ROM left once the
// checked applications and the chosen language are removed.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tarnhollow/catalogue/device_catalogue.h"

namespace tarnhollow {

// The language letters every selected device offers: for each selected name in order, each
// entry of that name in catalogue order narrows the running letters to those of its own
// letters (in its order) that are already in them; an empty running string restarts from the
// next entry's letters.  At most 11 letters.
std::string CommonLanguageLetters(const DeviceCatalogue &catalogue,
                                  const std::vector<std::string> &selectedNames);

// The Remove page's rows: for the same entries, each remove item's display name (its text
// before the first "%" found from the second character, trimmed; the whole item when it has
// none), in order and without duplicates.
std::vector<std::string> RemoveListRows(const DeviceCatalogue &catalogue,
                                        const std::vector<std::string> &selectedNames);

// "English", "French", "German", "Italian", "Spanish", "Portuguese" for E, F, G, I, S and P
// or B; nothing for other letters.
std::optional<std::string> LanguageNameForLetter(char letter);

// The language list: "All", "Current", then the name of each known letter in order.
std::vector<std::string> LanguageListTexts(const std::string &letters);

// The code stored for a language text: "All" gives "0", "Current" gives "-", any other text
// its first character, an empty text an empty code.
std::string LanguageCodeForText(const std::string &text);

// The language text a stored code selects: "-" gives "Current", a letter of the table its
// name ("P" and "B" give "Portuguese"), "0", an empty code and any other code give "All".
std::string LanguageTextForCode(const std::string &code);

// The bytes one remove or language item frees on `entry`.  The item's leading characters are
// dropped, as many as `keyText` has before its first space (all of it without a space); each
// "%"-separated database name after that, trimmed and followed by one space, that is not yet
// in `countedSet` is added to it, and the size of the first of the entry's romDatabases that
// contains it is added.  The set belongs to one entry for one computation, so a database
// shared by several removals is counted once.  The sum saturates at the 32-bit limits.
int32_t FreedBytes(const std::string &itemText, const std::string &keyText,
                   const DeviceEntry &entry, std::set<std::string> &countedSet);

// The expansion ROM left for the package, in K, on the smallest of the selected entries once
// the checked rows (in row order) and the language text ("Current" for each entry's first
// language item, otherwise the first item beginning with the text; empty for none) are
// removed.  When no entry gives at least 1 K, `baseAvailableKB` is returned.  Entries with a
// block size of 0 or less give no result.
int32_t ComputeAvailableKB(const DeviceCatalogue &catalogue,
                           const std::vector<std::string> &selectedNames,
                           const std::vector<std::string> &checkedRowTexts,
                           const std::string &languageText, int32_t baseAvailableKB);

} // namespace tarnhollow
