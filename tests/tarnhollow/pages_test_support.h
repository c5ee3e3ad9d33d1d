// Shared pieces of the pages' tests: a catalogue made from entry texts, a document on it, and
// Palm databases written into a scratch folder.
#pragma once

#include <gtest/gtest.h>
#include <prc.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tarnhollow/document/tarnhollow_doc.h"

namespace tarnhollow::testing {

// One catalogue entry in file form, lines joined with CR LF.
inline std::string EntryText(const std::string &name, const std::string &id,
                             const std::string &letters, int flash, int block,
                             const std::vector<std::string> &databases,
                             const std::vector<std::string> &removeItems,
                             const std::vector<std::string> &languageItems) {
    std::string text = "##\r\n*Device Name - " + name +
                       "\r\n*Value Two - 1\r\n*Value Three - x\r\n" + "*Languages - " + letters +
                       "\r\n*Device Id - " + id + "\r\n*Flash Size - " + std::to_string(flash) +
                       "\r\n*Value Seven - 0\r\n*Block Size - " + std::to_string(block) +
                       "\r\n*ROM Databases\r\n";
    for (const auto &item : databases) {
        text += "$" + item + "\r\n";
    }
    text += "*Remove List\r\n";
    for (const auto &item : removeItems) {
        text += "$" + item + "\r\n";
    }
    text += "*Language List\r\n";
    for (const auto &item : languageItems) {
        text += "$" + item + "\r\n";
    }
    return text;
}

inline DeviceCatalogue CatalogueOf(const std::vector<std::string> &entryTexts) {
    std::string text;
    for (const auto &entry : entryTexts) {
        text += entry;
    }
    text += "##\r\n";
    DeviceCatalogue catalogue;
    while (auto entry = ParseDeviceEntry(text)) {
        catalogue.push_back(std::move(entry));
    }
    return catalogue;
}

// The worked example device: 16,064 K free; English frees 80,000 bytes, Clock 12,000 more.
inline std::string ExampleHandheld() {
    return EntryText("Example Handheld", "EXMP", "EFG", 16777216, 65536,
                     {"AddressDB %81920", "DatebookDB %65536", "Clock %12000", "EnglishDB %40000",
                      "FrenchDB %40000", "GermanDB %40000"},
                     {"Clock %Clock"},
                     {"English %FrenchDB %GermanDB", "French %EnglishDB %GermanDB"});
}

class ScratchFolder {
public:
    ScratchFolder() {
        path_ = std::filesystem::temp_directory_path() /
                ("pages-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() { std::filesystem::remove_all(path_); }
    const std::filesystem::path &Path() const { return path_; }

    // A resource database of `bytes` bytes in all (one 'data' resource pads it).
    std::filesystem::path Database(const std::string &name, uint32_t type, uint32_t bytes) const {
        auto path = path_ / (name + ".prc");
        prc_t *prc =
            prccreate(path.c_str(), name.c_str(), type, prcstrtotype("Test"), PRC_FLAGS_RESOURCE);
        uint32_t body = bytes > 90 ? bytes - 90 : 0;
        std::vector<uint8_t> data(body, 0x5A);
        prc_record_t *res = prcnewresource();
        prcresourceset(res, prcstrtotype("data"), 1, data.data(), body);
        prcappendresource(prc, res);
        prcclose(prc);
        return path;
    }

private:
    std::filesystem::path path_;
};

inline constexpr uint32_t kAppl = 0x6170706C;
inline constexpr uint32_t kData = 0x44415441;

} // namespace tarnhollow::testing
