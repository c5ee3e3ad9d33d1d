// Catalogue texts for the catalogue tests (entries written line by line with CR LF ends) and a
// message-box recorder.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "tarnhollow/catalogue/device_catalogue.h"

namespace tarnhollow::testing {

// Each line followed by CR LF.
inline std::string Lines(std::initializer_list<std::string_view> lines) {
    std::string text;
    for (std::string_view line : lines) {
        text.append(line).append("\r\n");
    }
    return text;
}

inline const std::string kExampleFile = Lines({
    "##",
    "*Device Name - Example Handheld",
    "*Value Two - 1",
    "*Value Three - spare",
    "*Languages - EFG",
    "*Device Id - EXMP",
    "*Flash Size - 16777216",
    "*Value Seven - 0",
    "*Block Size - 65536",
    "*ROM Databases",
    "$AddressDB %81920",
    "$DatebookDB %65536",
    "$Clock %12000",
    "$EnglishDB %40000",
    "$FrenchDB %40000",
    "$GermanDB %40000",
    "*Remove List",
    "$Clock %Clock",
    "*Language List",
    "$English %FrenchDB %GermanDB",
    "$French %EnglishDB %GermanDB",
    "##",
});

struct EntryFields {
    std::string name = "Test Device";
    std::string letters = "EFG";
    std::string flash = "8388608";
    std::string block = "65536";
    std::vector<std::string> roms;
    std::vector<std::string> removes;
    std::vector<std::string> languages;
};

// One entry from its "##" header up to (not including) the next "##".
inline std::string EntryText(const EntryFields &fields) {
    std::string text = Lines(
        {"##", "*Device Name - " + fields.name, "*Value Two - 0", "*Value Three - x",
         "*Languages - " + fields.letters, "*Device Id - TEST", "*Flash Size - " + fields.flash,
         "*Value Seven - 0", "*Block Size - " + fields.block, "*ROM Databases"});
    auto items = [&](const std::vector<std::string> &list) {
        for (const std::string &item : list) {
            text += "$" + item + "\r\n";
        }
    };
    items(fields.roms);
    text += "*Remove List\r\n";
    items(fields.removes);
    text += "*Language List\r\n";
    items(fields.languages);
    return text;
}

inline std::string CatalogueText(const std::vector<EntryFields> &entries) {
    std::string text;
    for (const EntryFields &fields : entries) {
        text += EntryText(fields);
    }
    return text + "##\r\n";
}

class RecordingBoxes : public MessageBoxes {
public:
    void Show(const std::string &text, BoxIcon) override { texts.push_back(text); }
    std::vector<std::string> texts;
};

inline DeviceCatalogue ParseCatalogue(const std::string &text) {
    RecordingBoxes boxes;
    DeviceCatalogue catalogue;
    AppendDeviceEntries(text, catalogue, boxes);
    return catalogue;
}

} // namespace tarnhollow::testing
