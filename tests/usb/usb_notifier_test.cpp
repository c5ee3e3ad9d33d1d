// The USB pipe table and the arrival and removal rules, against the simulated USB library.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "ostervane/link/usb_notifier.h"
#include "simulator/packet_framing.h"
#include "simulator/rom_presets.h"
#include "simulator/usb/simulated_usb_library.h"

namespace ostervane {
namespace {

namespace sim = ostervane::simulator;

struct EventLog {
    std::mutex mutex;
    std::vector<uint32_t> events;
    std::vector<uint32_t> Events() {
        std::lock_guard lock(mutex);
        return events;
    }
};

int32_t RecordEvent(uint32_t event, const void *, uint32_t, void *context) {
    auto *log = static_cast<EventLog *>(context);
    std::lock_guard lock(log->mutex);
    log->events.push_back(event);
    return 0;
}

class NotifierBench {
public:
    USBPipe *Create(uint32_t position) {
        return notifier.CreateUsbPipe(position, 0, &RecordEvent, &logs[position]);
    }
    void CreatePipes(uint32_t count) {
        for (uint32_t i = 0; i < count; ++i) {
            ASSERT_NE(Create(i), nullptr);
        }
    }
    void Plug(const std::string &name, sim::SimulatedUsbOptions options = {}) {
        handhelds.push_back(sim::MakeHandheld(*sim::FindHandheldModel("68k-v5")));
        usb.Plug(name, *handhelds.back(), options);
        notifier.DeliverPending();
    }
    void Unplug(const std::string &name) {
        usb.Unplug(name);
        notifier.DeliverPending();
    }
    bool IsOpen(size_t index) {
        bool open = false;
        notifier.Pipe(index)->IsOpen(&open);
        return open;
    }

    std::vector<std::unique_ptr<sim::HandheldDebugger>> handhelds;
    sim::SimulatedUsbLibrary usb;
    UsbNotifier notifier{usb};
    std::array<EventLog, UsbNotifier::kPipeTableSize> logs;
};

UsbNotification Arrival(const std::string &name) {
    UsbNotification notification;
    notification.kind = UsbEventKind::Arrival;
    notification.interfaceName = name;
    return notification;
}

TEST(UsbNotifier, EightPipesTakeArrivalsInOrderAndTheTableHoldsTen) {
    NotifierBench bench;
    EXPECT_FALSE(bench.usb.Registered());
    bench.CreatePipes(8);
    EXPECT_TRUE(bench.usb.Registered());
    EXPECT_EQ(USBPipe::LiveCount(), 8);
    EXPECT_EQ(bench.notifier.Pipe(0)->GetName(), "USB 1");
    EXPECT_EQ(bench.notifier.Pipe(7)->GetName(), "USB 8");
    EXPECT_TRUE(bench.notifier.Pipe(0)->IsHotPlug());

    bench.Plug("usb-1-4");
    EXPECT_EQ(bench.notifier.Pipe(0)->DeviceName(), "usb-1-4");
    EXPECT_TRUE(bench.IsOpen(0));
    EXPECT_EQ(bench.logs[0].Events(), (std::vector<uint32_t>{PipeOpened}));
    bench.Plug("usb-1-3");
    EXPECT_EQ(bench.notifier.Pipe(1)->DeviceName(), "usb-1-3");
    EXPECT_EQ(bench.logs[1].Events(), (std::vector<uint32_t>{PipeOpened}));
    EXPECT_FALSE(bench.notifier.Pipe(2)->IsAttached());
    // Close on a USB pipe changes nothing: it closes on removal only.
    EXPECT_EQ(bench.notifier.Pipe(0)->Close(), 0);
    EXPECT_TRUE(bench.IsOpen(0));

    bench.CreatePipes(2);
    EXPECT_EQ(bench.Create(0), nullptr);
    EXPECT_EQ(USBPipe::LiveCount(), 10);
}

TEST(UsbNotifier, OnlyArrivalsAndRemovalsOfHandheldInterfacesAreHandled) {
    NotifierBench bench;
    EXPECT_FALSE(bench.notifier.HandleDeviceChange(Arrival("usb-1-1"))); // no pipe yet
    bench.CreatePipes(2);
    UsbNotification otherClass = Arrival("usb-1-1");
    otherClass.interfaceClass = "mass-storage";
    UsbNotification notInterface = Arrival("usb-1-1");
    notInterface.isDeviceInterface = false;
    UsbNotification other = Arrival("usb-1-1");
    other.kind = UsbEventKind::Other;
    for (const UsbNotification &n : {otherClass, notInterface, other}) {
        EXPECT_FALSE(bench.notifier.HandleDeviceChange(n));
    }
    EXPECT_FALSE(bench.notifier.Pipe(0)->IsAttached());
    EXPECT_TRUE(bench.logs[0].Events().empty());
}

TEST(UsbNotifier, ARemovalNoPipeHoldsChangesNothingButIsHandled) {
    NotifierBench bench;
    bench.CreatePipes(2);
    bench.Plug("usb-2-1");
    UsbNotification removal;
    removal.kind = UsbEventKind::RemoveComplete;
    for (const char *name : {"usb-2-7", "USB-2-1", ""}) {
        removal.interfaceName = name;
        EXPECT_TRUE(bench.notifier.HandleDeviceChange(removal)) << name;
    }
    EXPECT_TRUE(bench.IsOpen(0));
    EXPECT_EQ(bench.notifier.Pipe(0)->DeviceName(), "usb-2-1");
    EXPECT_EQ(bench.logs[0].Events(), (std::vector<uint32_t>{PipeOpened}));

    bench.Unplug("usb-2-1");
    EXPECT_FALSE(bench.notifier.Pipe(0)->IsAttached());
    EXPECT_EQ(bench.logs[0].Events(), (std::vector<uint32_t>{PipeOpened, PipeClosed}));
    EXPECT_EQ(bench.usb.OpenPortCount(), 0);
}

TEST(UsbNotifier, AFailedOpenKeepsThePipeAttachedAndClosedUntilRemovalWithoutEvents) {
    NotifierBench bench;
    bench.CreatePipes(2);
    bench.Plug("usb-1-1", {.failOpen = true});
    EXPECT_EQ(bench.notifier.Pipe(0)->DeviceName(), "usb-1-1");
    EXPECT_FALSE(bench.IsOpen(0));
    bench.Plug("usb-1-2"); // the closed pipe still counts as attached
    EXPECT_EQ(bench.notifier.Pipe(1)->DeviceName(), "usb-1-2");
    // A transfer on the closed pipe reaches the library and fails there.
    uint8_t byte = 0;
    uint32_t got = 0;
    EXPECT_EQ(bench.notifier.Pipe(0)->Receive(&byte, 1, &got), UsbPortClosed);

    bench.Unplug("usb-1-1");
    EXPECT_FALSE(bench.notifier.Pipe(0)->IsAttached());
    EXPECT_TRUE(bench.logs[0].Events().empty()); // no PipeClosed for a pipe that never opened
    bench.Plug("usb-1-5");
    EXPECT_EQ(bench.notifier.Pipe(0)->DeviceName(), "usb-1-5");
    EXPECT_EQ(bench.logs[0].Events(), (std::vector<uint32_t>{PipeOpened}));
}

TEST(UsbNotifier, NotificationsFromAnotherThreadWaitInTheQueueForTheOwner) {
    NotifierBench bench;
    bench.CreatePipes(2);
    int wakeUps = 0;
    bench.notifier.SetWakeUp([&] { ++wakeUps; });
    auto handheld = sim::MakeHandheld(*sim::FindHandheldModel("68k-v5"));
    std::thread events([&] {
        bench.usb.Plug("usb-3-1", *handheld);
        bench.usb.Unplug("usb-3-1");
        bench.usb.Plug("usb-3-1", *handheld);
    });
    events.join();
    EXPECT_EQ(wakeUps, 3);
    EXPECT_FALSE(bench.notifier.Pipe(0)->IsAttached()); // nothing applied before the drain
    EXPECT_EQ(bench.notifier.DeliverPending(), 3u);
    EXPECT_EQ(bench.notifier.Pipe(0)->DeviceName(), "usb-3-1");
    EXPECT_FALSE(bench.notifier.Pipe(1)->IsAttached());
    EXPECT_EQ(bench.logs[0].Events(), (std::vector<uint32_t>{PipeOpened, PipeClosed, PipeOpened}));
}

// What one receive gives after the handheld's announcement was read and it was sent running.
int32_t ReceiveWhileRunning(bool busyWhileRunning) {
    auto handheld = sim::MakeHandheld(*sim::FindHandheldModel("68k-v5"));
    sim::SimulatedUsbLibrary usb;
    usb.Plug("usb-1-1", *handheld, {.busyWhileRunning = busyWhileRunning});
    UsbPortHandle port = usb.OpenPort("usb-1-1", kUsbDebuggerCreator);
    std::vector<uint8_t> buffer(512);
    uint32_t got = 0;
    EXPECT_EQ(usb.ReceiveBytes(port, buffer.data(), 512, &got), 0); // the state packet
    EXPECT_GT(got, 0u);
    std::vector<uint8_t> body = {sim::kCmdContinue, 0};
    body.resize(2 + sim::kContinueDataSize);
    handheld->Registers().Encode(body.data() + 2);
    std::vector<uint8_t> packet = sim::FramePacket(1, body);
    uint32_t sent = 0;
    EXPECT_EQ(usb.SendBytes(port, packet.data(), uint32_t(packet.size()), &sent), 0);
    int32_t status = usb.ReceiveBytes(port, buffer.data(), 1, &got);
    EXPECT_EQ(got, 0u);
    usb.ClosePort(port);
    EXPECT_EQ(usb.ReceiveBytes(port, buffer.data(), 1, &got), UsbPortClosed);
    return status;
}

TEST(SimulatedUsbLibrary, AnEmptyReceiveWhileTheHandheldRunsCanEndWithStatus3) {
    EXPECT_EQ(ReceiveWhileRunning(true), UsbHandheldBusy);
    EXPECT_EQ(ReceiveWhileRunning(false), 0);
}

} // namespace
} // namespace ostervane
