// The table of USB handhelds and the udev rule made from it: the rule grants exactly the
// table's devices (never a whole vendor), and the copy kept in packaging/ is the generated one.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <utility>

#include "ostervane/core/usb_handhelds.h"

namespace ostervane {
namespace {

using IdPair = std::pair<unsigned, unsigned>;

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The vendor and product of every rule line; a line that matches no product (a whole vendor)
// or grants nothing is a failure.
std::set<IdPair> DevicesGrantedBy(const std::string &rules) {
    static const std::regex rule(
        R"re(^SUBSYSTEM=="usb", ENV\{DEVTYPE\}=="usb_device", ATTR\{idVendor\}=="([0-9a-f]{4})", )re"
        R"re(ATTR\{idProduct\}=="([0-9a-f]{4})", MODE="0660", GROUP="plugdev", TAG\+="uaccess"$)re");
    std::set<IdPair> granted;
    std::istringstream lines(rules);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::smatch ids;
        EXPECT_TRUE(std::regex_match(line, ids, rule)) << line;
        if (!ids.empty()) {
            granted.insert({std::stoul(ids[1], nullptr, 16), std::stoul(ids[2], nullptr, 16)});
        }
    }
    return granted;
}

std::set<IdPair> TableDevices() {
    std::set<IdPair> devices;
    for (const UsbHandheld &handheld : KnownUsbHandhelds()) {
        EXPECT_TRUE(devices.insert({handheld.vendorId, handheld.productId}).second)
            << "listed twice: " << handheld.name;
    }
    return devices;
}

TEST(UsbHandhelds, GeneratedRuleGrantsExactlyTheTablesDevices) {
    std::string generated = ReadFile(OSTERVANE_GENERATED_UDEV_RULES);
    ASSERT_FALSE(generated.empty());
    EXPECT_EQ(DevicesGrantedBy(generated), TableDevices());
    EXPECT_EQ(generated, UdevRulesText());
}

TEST(UsbHandhelds, CommittedRuleIsTheGeneratedOne) {
    EXPECT_EQ(ReadFile(OSTERVANE_COMMITTED_UDEV_RULES), UdevRulesText())
        << "refresh it with: build/bin/ostervane-udev-rules packaging/udev/60-palm-handhelds.rules";
}

TEST(UsbHandhelds, AMakersVendorIdAloneIsNoHandheld) {
    const UsbHandheld *zodiac = FindUsbHandheld(0x12EF, 0x0100);
    ASSERT_NE(zodiac, nullptr);
    EXPECT_STREQ(zodiac->maker, "Tapwave");
    EXPECT_NE(FindUsbHandheld(0x04E8, 0x8001), nullptr);
    EXPECT_EQ(FindUsbHandheld(0x054C, 0x0243), nullptr); // a disk of a handheld maker
    EXPECT_EQ(FindUsbHandheld(0x091E, 0x0003), nullptr); // a navigation unit
    EXPECT_EQ(FindUsbHandheld(0x0830, 0x0000), nullptr);
}

} // namespace
} // namespace ostervane
