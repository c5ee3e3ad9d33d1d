// Reading which kernel driver holds an interface, on a sysfs tree made in a temporary folder.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "ostervane/platform/usb_kernel_driver.h"

namespace ostervane {
namespace {

namespace fs = std::filesystem;

class FakeSysfs : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("sysfs-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                 "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(root_ / "bus/usb/drivers");
        fs::create_directories(root_ / "bus/usb/devices");
    }
    void TearDown() override { fs::remove_all(root_); }

    // An interface whose device folder lies under /sys/devices, reached through the bus's link.
    void AddInterface(const std::string &name, const std::string &driver) {
        fs::path device = root_ / "devices/pci0000:00/usb1" / name;
        fs::create_directories(device);
        fs::create_directory_symlink(device, root_ / "bus/usb/devices" / name);
        if (!driver.empty()) {
            fs::create_directories(root_ / "bus/usb/drivers" / driver);
            fs::create_directory_symlink("../../../../bus/usb/drivers/" + driver,
                                         device / "driver");
        }
    }

    fs::path root_;
};

TEST_F(FakeSysfs, NamesTheBoundDriverNoneOrAnAbsentInterface) {
    AddInterface("1-2:1.0", "usb-storage");
    AddInterface("1-3:1.0", "");
    AddInterface("3-1.4.2:1.1", "visor");
    EXPECT_EQ(BoundKernelDriver("1-2:1.0", root_), "usb-storage");
    EXPECT_EQ(BoundKernelDriver("1-3:1.0", root_), "");
    EXPECT_EQ(BoundKernelDriver("3-1.4.2:1.1", root_), "visor");
    EXPECT_EQ(BoundKernelDriver("1-4:1.0", root_), std::nullopt);
}

TEST(UsbKernelDriver, InterfaceNamesFollowThePortPath) {
    std::array<uint8_t, 3> nested = {1, 4, 2};
    EXPECT_EQ(UsbInterfaceSysfsName(3, nested, 1, 1), "3-1.4.2:1.1");
    std::array<uint8_t, 1> direct = {2};
    EXPECT_EQ(UsbInterfaceSysfsName(1, direct, 1, 0), "1-2:1.0");
}

TEST(UsbKernelDriver, OnlyTheSerialDriversMayBeTaken) {
    EXPECT_TRUE(IsHandheldSerialDriver("visor"));
    EXPECT_TRUE(IsHandheldSerialDriver("usbserial_generic"));
    for (const char *other : {"usb-storage", "cdc_acm", "usbhid", "uas", "usbfs", "visor2"}) {
        EXPECT_FALSE(IsHandheldSerialDriver(other)) << other;
    }
}

} // namespace
} // namespace ostervane
