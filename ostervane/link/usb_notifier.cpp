// UsbNotifier: the pipe table, the notification queue and the arrival and removal rules.
#include "ostervane/link/usb_notifier.h"

#include <utility>

namespace ostervane {

UsbNotifier::UsbNotifier(UsbPortLibrary &library) : library_(library) {}

UsbNotifier::~UsbNotifier() {
    if (registration_ != 0) {
        library_.UnregisterDeviceInterface(registration_);
    }
    for (auto &pipe : pipes_) {
        if (pipe) {
            pipe->ClosePort();
        }
    }
}

USBPipe *UsbNotifier::CreateUsbPipe(uint32_t position, uint32_t option, PipeEventHandler handler,
                                    void *job) {
    if (registration_ == 0) {
        registration_ = library_.RegisterDeviceInterface(
            [this](const UsbNotification &notification) { Post(notification); });
    }
    for (auto &entry : pipes_) {
        if (!entry) {
            entry = std::make_unique<USBPipe>(library_, position, option, handler, job);
            return entry.get();
        }
    }
    return nullptr;
}

USBPipe *UsbNotifier::Pipe(size_t index) const {
    return index < pipes_.size() ? pipes_[index].get() : nullptr;
}

void UsbNotifier::Post(const UsbNotification &notification) {
    std::function<void()> wakeUp;
    {
        std::lock_guard lock(queueMutex_);
        queue_.push_back(notification);
        wakeUp = wakeUp_;
    }
    if (wakeUp) {
        wakeUp();
    }
}

void UsbNotifier::SetWakeUp(std::function<void()> wakeUp) {
    std::lock_guard lock(queueMutex_);
    wakeUp_ = std::move(wakeUp);
}

size_t UsbNotifier::DeliverPending() {
    std::deque<UsbNotification> pending;
    {
        std::lock_guard lock(queueMutex_);
        pending.swap(queue_);
    }
    for (const UsbNotification &notification : pending) {
        HandleDeviceChange(notification);
    }
    return pending.size();
}

bool UsbNotifier::HandleDeviceChange(const UsbNotification &notification) {
    if (USBPipe::LiveCount() == 0 || notification.kind == UsbEventKind::Other ||
        !notification.isDeviceInterface || notification.interfaceClass != kHandheldInterfaceClass) {
        return false;
    }
    if (notification.kind == UsbEventKind::Arrival) {
        Arrive(notification);
    } else {
        Remove(notification.interfaceName);
    }
    return true;
}

void UsbNotifier::Arrive(const UsbNotification &notification) {
    // The answer is not needed: a handheld of this class is attached either way.
    (void)library_.IsPalmOsDeviceNotification(notification, kUsbDebuggerCreator);
    for (auto &pipe : pipes_) {
        if (pipe && !pipe->IsAttached()) {
            pipe->Attach(notification.interfaceName);
            return;
        }
    }
}

void UsbNotifier::Remove(const std::string &interfaceName) {
    for (auto &pipe : pipes_) {
        if (pipe && pipe->IsAttached() && pipe->DeviceName() == interfaceName) {
            pipe->Detach();
            return;
        }
    }
}

} // namespace ostervane
