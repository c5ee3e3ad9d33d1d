// The libusb library on emulated USB devices: which devices it touches at all, the kernel
// drivers it takes a handheld's interface from and gives back, and which connection
// information makes a handheld's port.
#include "usb_emulated/emulated_test_support.h"

namespace ostervane {
namespace {

using namespace testing;

constexpr char kDriversLink[] = "../../../../../../bus/usb/drivers/";

// A disk of a handheld maker: its vendor id is one of theirs, its product id no handheld's.
EmulatedDeviceSetup Disk(const std::string &port) {
    EmulatedDeviceSetup setup;
    setup.port = port;
    setup.vendor = 0x054C;
    setup.product = 0x0243;
    setup.interfaceClass = 0x08;
    setup.driver = "usb-storage";
    setup.answers = ConnectionAnswers::Neither;
    return setup;
}

std::unique_ptr<sim::HandheldDebugger> NewHandheld() {
    return sim::MakeHandheld(Model("68k-v5"));
}

bool GivenBack(const DeviceObservations &seen) {
    return seen.releases == 1 && seen.reattaches == 1;
}

TEST(LibusbOnEmulatedUsb, DevicesThatAreNotItsToTakeAreNeverOpened) {
    EmulatedUsbBus bus;
    auto modem = NewHandheld();
    auto witness = NewHandheld();
    EmulatedUsbDevice &diskThere = bus.Add(Disk("1-3"));
    RecordedLibrary usb;
    ASSERT_TRUE(usb.Register());
    EmulatedUsbDevice &diskPlugged = bus.Plug(Disk("1-4"));
    // A handheld of the table whose interface some other driver has taken.
    EmulatedUsbDevice &held = bus.Plug(HandheldAt("1-5", *modem, "cdc_acm"));
    // Hot-plug events are taken in order: once this one has arrived, the others were seen.
    bus.Plug(HandheldAt("1-2", *witness));
    ASSERT_TRUE(usb.WaitForArrival("usb-1-2"));
    ASSERT_TRUE(WaitUntil([&] { return usb.record.Logged("cdc_acm"); }));

    for (EmulatedUsbDevice *device : {&diskThere, &diskPlugged, &held}) {
        SCOPED_TRACE(device->InterfaceName());
        DeviceObservations seen = device->Observed();
        EXPECT_EQ(seen.opens, 0);
        EXPECT_EQ(seen.detaches, 0);
        EXPECT_EQ(seen.driver, device->Setup().driver);
        EXPECT_EQ(bus.DriverLink(*device), kDriversLink + device->Setup().driver);
        EXPECT_FALSE(usb.record.Arrived(device->InterfaceName()));
    }
    bool named = false;
    for (const std::string &line : usb.record.Lines()) {
        named = named || (Contains(line, "usb-1-5") && Contains(line, "cdc_acm"));
    }
    EXPECT_TRUE(named) << "no log line names the handheld and the driver holding it";
}

TEST(LibusbOnEmulatedUsb, ASerialDriverIsDetachedAndGivenBackWhenItsPortCloses) {
    EmulatedUsbBus bus;
    auto first = NewHandheld();
    auto second = NewHandheld();
    auto third = NewHandheld();
    EmulatedUsbDevice &visor = bus.Add(HandheldAt("1-2", *first, "visor"));
    EmulatedUsbDevice &generic = bus.Add(HandheldAt("1-3", *second, "usbserial_generic"));
    EmulatedUsbDevice &unbound = bus.Add(HandheldAt("1-4", *third, ""));
    RecordedLibrary usb;
    ASSERT_TRUE(usb.Register());
    for (const char *name : {"usb-1-2", "usb-1-3", "usb-1-4"}) {
        ASSERT_TRUE(usb.WaitForArrival(name)) << name;
    }
    EXPECT_EQ(visor.Observed().detaches, 1);
    EXPECT_EQ(visor.Observed().driver, "usbfs");
    EXPECT_EQ(generic.Observed().detaches, 1);
    EXPECT_EQ(unbound.Observed().detaches, 0);
    EXPECT_EQ(unbound.Observed().driver, "usbfs");

    UsbPortHandle port = usb.library->OpenPort("usb-1-2", kUsbDebuggerCreator);
    ASSERT_NE(port, kUsbNoPort);
    EXPECT_EQ(usb.library->ClosePort(port), 0);
    DeviceObservations seen = visor.Observed();
    EXPECT_EQ(seen.releases, 1);
    EXPECT_EQ(seen.reattaches, 1);
    EXPECT_EQ(seen.driver, "visor");
    EXPECT_EQ(bus.DriverLink(visor), std::string(kDriversLink) + "visor");

    // The library's end closes a port still open, and one that no job opened.
    ASSERT_NE(usb.library->OpenPort("usb-1-3", kUsbDebuggerCreator), kUsbNoPort);
    usb.library.reset();
    EXPECT_EQ(generic.Observed().reattaches, 1);
    EXPECT_EQ(generic.Observed().driver, "usbserial_generic");
    EXPECT_EQ(unbound.Observed().releases, 1);
    EXPECT_EQ(unbound.Observed().reattaches, 0);
    EXPECT_EQ(unbound.Observed().driver, "");
    EXPECT_EQ(bus.DriverLink(unbound), "");
}

// A phone: its modem is interface 0 (held by its own driver), the handheld interface 1.
TEST(LibusbOnEmulatedUsb, OnAPhoneOnlyTheHandheldsInterfaceIsTaken) {
    EmulatedUsbBus bus;
    auto handheld = NewHandheld();
    EmulatedDeviceSetup setup = HandheldAt("1-2", *handheld);
    setup.vendor = 0x04E8;
    setup.product = 0x8001;
    setup.leadingInterface = LeadingInterface{};
    EmulatedUsbDevice &phone = bus.Add(setup);
    RecordedLibrary usb;
    ASSERT_TRUE(usb.Register());
    ASSERT_TRUE(usb.WaitForArrival("usb-1-2")) << ::testing::PrintToString(usb.record.Lines());
    EXPECT_EQ(phone.Observed().driver, "usbfs");
    EXPECT_EQ(phone.Observed().detaches, 1);

    UsbPortHandle port = usb.library->OpenPort("usb-1-2", kUsbDebuggerCreator);
    ASSERT_NE(port, kUsbNoPort);
    std::vector<uint8_t> buffer(4096);
    uint32_t count = 0;
    EXPECT_EQ(usb.library->ReceiveBytes(port, buffer.data(), 4096, &count), 0);
    EXPECT_GT(count, 0u) << "the handheld's announcement comes on its interface's endpoints";
    EXPECT_EQ(usb.library->ClosePort(port), 0);
    DeviceObservations seen = phone.Observed();
    EXPECT_EQ(seen.driver, "visor");
    EXPECT_EQ(seen.leadingDriver, "cdc_acm");
    EXPECT_EQ(seen.detaches, 1);
    EXPECT_EQ(seen.reattaches, 1);
}

TEST(LibusbOnEmulatedUsb, EitherKindOfConnectionInformationNamingADebuggerMakesAPort) {
    EmulatedUsbBus bus;
    std::vector<std::unique_ptr<sim::HandheldDebugger>> handhelds;
    auto add = [&](const std::string &port, ConnectionAnswers answers) -> EmulatedUsbDevice & {
        handhelds.push_back(NewHandheld());
        EmulatedDeviceSetup setup = HandheldAt(port, *handhelds.back());
        setup.answers = answers;
        return bus.Add(setup);
    };
    EmulatedUsbDevice &extended = add("1-2", ConnectionAnswers::Extended);
    EmulatedUsbDevice &plain = add("1-3", ConnectionAnswers::PlainOnly);
    EmulatedUsbDevice &noDebugger = add("1-4", ConnectionAnswers::WithoutDebugger);
    EmulatedUsbDevice &silent = add("1-5", ConnectionAnswers::Neither);
    RecordedLibrary usb;
    ASSERT_TRUE(usb.Register());
    ASSERT_TRUE(usb.WaitForArrival("usb-1-2"));
    ASSERT_TRUE(usb.WaitForArrival("usb-1-3"));
    EXPECT_EQ(extended.Observed().vendorRequests, std::vector<uint8_t>{0x04});
    EXPECT_EQ(plain.Observed().vendorRequests, (std::vector<uint8_t>{0x04, 0x03}));

    // No debugger port: no arrival, and the serial driver is back.
    for (EmulatedUsbDevice *device : {&noDebugger, &silent}) {
        SCOPED_TRACE(device->InterfaceName());
        ASSERT_TRUE(device->WaitFor(GivenBack));
        DeviceObservations seen = device->Observed();
        EXPECT_FALSE(usb.record.Arrived(device->InterfaceName()));
        EXPECT_EQ(seen.detaches, 1);
        EXPECT_EQ(seen.releases, 1);
        EXPECT_EQ(seen.reattaches, 1);
        EXPECT_EQ(seen.driver, "visor");
        EXPECT_EQ(usb.library->OpenPort(device->InterfaceName(), kUsbDebuggerCreator), kUsbNoPort);
    }
    EXPECT_EQ(silent.Observed().vendorRequests, (std::vector<uint8_t>{0x04, 0x03}));
    EXPECT_TRUE(usb.record.Logged("usb-1-4"));
}

TEST(LibusbOnEmulatedUsb, AHandheldUnpluggedWhileAskedForItsPortsIsNeverReported) {
    EmulatedUsbBus bus;
    auto leaving = NewHandheld();
    auto staying = NewHandheld();
    RecordedLibrary usb;
    ASSERT_TRUE(usb.Register());
    EmulatedDeviceSetup setup = HandheldAt("1-2", *leaving);
    setup.answers = ConnectionAnswers::Silent;
    EmulatedUsbDevice &device = bus.Plug(setup);
    ASSERT_TRUE(
        device.WaitFor([](const DeviceObservations &seen) { return seen.controlsUnderWay == 1; }));
    bus.Unplug(device);

    bus.Plug(HandheldAt("1-3", *staying));
    ASSERT_TRUE(usb.WaitForArrival("usb-1-3"));
    EXPECT_FALSE(usb.record.Arrived("usb-1-2"));
    EXPECT_FALSE(usb.record.Has(UsbEventKind::RemoveComplete, "usb-1-2"));
    EXPECT_EQ(usb.library->OpenPort("usb-1-2", kUsbDebuggerCreator), kUsbNoPort);
}

// A handheld whose port is open and has given its announcement, with a receive under way that
// would wait ten seconds for more.
class LongReceive : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(usb.Register());
        ASSERT_TRUE(usb.WaitForArrival("usb-1-2"));
        port = usb.library->OpenPort("usb-1-2", kUsbDebuggerCreator);
        ASSERT_NE(port, kUsbNoPort);
        ASSERT_EQ(usb.library->ReceiveBytes(port, buffer.data(), 4096, &count), 0);
        EXPECT_GT(count, 0u) << "the handheld announces itself when its interface is claimed";
        ASSERT_EQ(usb.library->SetTimeouts(port, 10000, 10000), 0);
        reader = std::thread(
            [this] { status = usb.library->ReceiveBytes(port, buffer.data(), 4096, &count); });
        ASSERT_TRUE(
            device.WaitFor([](const DeviceObservations &seen) { return seen.readsUnderWay == 1; }));
    }
    void TearDown() override {
        if (reader.joinable()) {
            reader.join();
        }
    }
    // Joins the receive and says how long it took since `since`.
    std::chrono::steady_clock::duration EndOfReceive(std::chrono::steady_clock::time_point since) {
        reader.join();
        return std::chrono::steady_clock::now() - since;
    }

    EmulatedUsbBus bus;
    std::unique_ptr<sim::HandheldDebugger> handheld = NewHandheld();
    EmulatedUsbDevice &device = bus.Add(HandheldAt("1-2", *handheld));
    RecordedLibrary usb;
    UsbPortHandle port = kUsbNoPort;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(4096);
    uint32_t count = 0;
    int32_t status = 0;
    std::thread reader;
};

TEST_F(LongReceive, EndsAtOnceWithDeviceGoneWhenTheHandheldIsUnplugged) {
    constexpr int32_t kDeviceGone = UsbLibraryErrorBase + 4;
    auto pulled = std::chrono::steady_clock::now();
    bus.Unplug(device);
    EXPECT_LT(EndOfReceive(pulled), std::chrono::seconds(2));
    EXPECT_EQ(status, kDeviceGone);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(usb.library->SendBytes(port, buffer.data(), 16, &count), kDeviceGone);
    ASSERT_TRUE(WaitUntil([&] { return usb.record.Has(UsbEventKind::RemoveComplete, "usb-1-2"); }));
    EXPECT_EQ(usb.library->ClosePort(port), 0);
}

// Closing a port (a removal, the window's Done, Ctrl-C) must not wait out a long receive.
TEST_F(LongReceive, EndsAtOnceWhenItsPortIsClosed) {
    auto closing = std::chrono::steady_clock::now();
    EXPECT_EQ(usb.library->ClosePort(port), 0);
    EXPECT_LT(EndOfReceive(closing), std::chrono::seconds(2));
    EXPECT_EQ(status, UsbPortClosed);
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(GivenBack(device.Observed()));
}

} // namespace
} // namespace ostervane
