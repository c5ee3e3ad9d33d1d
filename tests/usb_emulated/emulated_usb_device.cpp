// EmulatedUsbDevice: usbfs ioctls answered as the kernel does, connection information, and the
// debugger's bulk traffic to a simulated handheld.
#include "usb_emulated/emulated_usb_device.h"

// <linux/usbdevice_fs.h> needs the ioctl number macros first.
#include <sys/ioctl.h>

#include <linux/usbdevice_fs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include <gtest/gtest.h>

namespace ostervane::testing {

namespace {

constexpr size_t kSetupSize = 8;
constexpr uint8_t kVendorIn = 0xC0; // direction and type bits of bmRequestType
constexpr uint8_t kTypeAndDirection = 0xE0;
constexpr uint8_t kExtConnectionRequest = 0x04;
constexpr uint8_t kConnectionRequest = 0x03;
constexpr uint8_t kEndpoints[] = {0x81, 0x01, EmulatedUsbDevice::kDebuggerIn,
                                  EmulatedUsbDevice::kDebuggerOut};
constexpr char kUsbfsDriver[] = "usbfs";

// What a recent kernel reports, less the mmap and privilege calls libusb does not use here.
constexpr uint32_t kCapabilities = USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_CONTINUATION |
                                   USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                                   USBDEVFS_CAP_REAP_AFTER_DISCONNECT;

// 0x04: the number of ports, endpoint numbers alike (0), reserved; then per port its function
// id, port, endpoint info (unused here) and reserved.  0x03: the number of ports (16 bits),
// then per port its function number (1: the debugger, 2: HotSync) and port.
const std::vector<uint8_t> kExtAnswer = {2,   0,   0,   0,               //
                                         's', 'y', 'n', 'c', 1, 0, 0, 0, //
                                         'p', 's', 'y', 's', 2, 0, 0, 0};
const std::vector<uint8_t> kExtAnswerWithoutDebugger = {1,   0,   0,   0, //
                                                        's', 'y', 'n', 'c', 2, 0, 0, 0};
const std::vector<uint8_t> kPlainAnswer = {2, 0, 2, 1, 1, 2};
const std::vector<uint8_t> kPlainAnswerWithoutDebugger = {1, 0, 2, 2};

uint8_t Low(uint16_t value) {
    return static_cast<uint8_t>(value & 0xFF);
}
uint8_t High(uint16_t value) {
    return static_cast<uint8_t>(value >> 8);
}

template <typename T> T *Resolve(UMockdevIoctlData *data, size_t offset, size_t length) {
    GError *error = nullptr;
    UMockdevIoctlData *resolved = umockdev_ioctl_data_resolve(data, offset, length, &error);
    if (resolved == nullptr) {
        g_clear_error(&error);
        return nullptr;
    }
    return reinterpret_cast<T *>(resolved->data);
}

usbdevfs_urb *UrbOf(const UMockdevIoctlData *data) {
    return reinterpret_cast<usbdevfs_urb *>(data->data);
}

} // namespace

EmulatedUsbDevice::EmulatedUsbDevice(EmulatedDeviceSetup setup,
                                     std::vector<std::string> interfaceDirs,
                                     std::string driverLinkPrefix)
    : setup_(std::move(setup)), driverLinkPrefix_(std::move(driverLinkPrefix)),
      handler_(umockdev_ioctl_base_new()) {
    std::vector<InterfaceInfo> infos = Interfaces();
    for (size_t i = 0; i < infos.size(); ++i) {
        interfaces_.push_back({infos[i].driver, infos[i].driver, interfaceDirs.at(i), nullptr});
    }
    ShowDrivers();
    g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(&EmulatedUsbDevice::OnIoctl), this);
    g_signal_connect(handler_, "client-connected", G_CALLBACK(&EmulatedUsbDevice::OnConnected),
                     this);
}

EmulatedUsbDevice::~EmulatedUsbDevice() {
    g_signal_handlers_disconnect_by_data(handler_, this);
    for (auto *queue : {&debuggerReads_, &idleReads_, &unanswered_}) {
        Forget(*queue);
    }
    for (auto &entry : completed_) {
        Forget(entry.second);
    }
    g_object_unref(handler_);
}

std::vector<EmulatedUsbDevice::InterfaceInfo> EmulatedUsbDevice::Interfaces() const {
    std::vector<InterfaceInfo> infos;
    if (setup_.leadingInterface) {
        infos.push_back({setup_.leadingInterface->interfaceClass, setup_.leadingInterface->driver});
    }
    infos.push_back({setup_.interfaceClass, setup_.driver});
    return infos;
}

size_t EmulatedUsbDevice::HandheldInterface() const {
    return setup_.leadingInterface ? 1 : 0;
}

// The leading interface has no endpoints of its own; the four bulk endpoints are the last one's.
std::vector<uint8_t> EmulatedUsbDevice::Descriptors() const {
    const std::vector<InterfaceInfo> infos = Interfaces();
    const uint16_t total = uint16_t(9 + 9 * infos.size() + 7 * std::size(kEndpoints));
    std::vector<uint8_t> bytes = {18, 1, 0x10, 0x01, 0, 0, 0, 64}; // USB 1.1, 64-byte control
    for (uint16_t word : {setup_.vendor, setup_.product, uint16_t(0x0100)}) {
        bytes.insert(bytes.end(), {Low(word), High(word)});
    }
    bytes.insert(bytes.end(), {1, 2, 0, 1}); // maker and product strings, one configuration
    bytes.insert(bytes.end(),
                 {9, 2, Low(total), High(total), uint8_t(infos.size()), 1, 0, 0x80, 50});
    for (size_t number = 0; number < infos.size(); ++number) {
        const bool last = number + 1 == infos.size();
        const uint8_t interfaceClass = infos[number].interfaceClass;
        const bool disk = interfaceClass == 0x08;
        bytes.insert(bytes.end(), {9, 4, uint8_t(number), 0,
                                   uint8_t(last ? std::size(kEndpoints) : 0), interfaceClass,
                                   uint8_t(disk ? 0x06 : 0x00), // SCSI commands,
                                   uint8_t(disk ? 0x50 : 0x00), // bulk only
                                   0});
    }
    for (uint8_t endpoint : kEndpoints) {
        bytes.insert(bytes.end(), {7, 5, endpoint, 2, kMaxPacket, 0, 0});
    }
    return bytes;
}

DeviceObservations EmulatedUsbDevice::Observed() const {
    std::lock_guard lock(mutex_);
    return observed_;
}

bool EmulatedUsbDevice::WaitFor(const std::function<bool(const DeviceObservations &)> &condition,
                                std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return condition(observed_); });
}

bool EmulatedUsbDevice::Holding() const {
    std::lock_guard lock(mutex_);
    return Held() && !debuggerReads_.empty();
}

bool EmulatedUsbDevice::Held() const {
    return setup_.holdRepliesAfter != 0 && setup_.handheld != nullptr &&
           setup_.handheld->Stats().requests >= setup_.holdRepliesAfter;
}

// Like the kernel: the host controller ends the URBs under way, which stay reapable.
void EmulatedUsbDevice::Disconnect() {
    std::lock_guard lock(mutex_);
    gone_ = true;
    for (auto *queue : {&debuggerReads_, &idleReads_, &unanswered_}) {
        while (!queue->empty()) {
            Urb urb = queue->front();
            queue->pop_front();
            UrbOf(urb.data)->actual_length = 0;
            Complete(urb, -ESHUTDOWN);
        }
    }
    observed_.readsUnderWay = 0;
    observed_.controlsUnderWay = 0;
    changed_.notify_all();
}

gboolean EmulatedUsbDevice::OnIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client,
                                    gpointer self) {
    auto *device = static_cast<EmulatedUsbDevice *>(self);
    std::lock_guard lock(device->mutex_);
    Result result = device->Handle(client);
    umockdev_ioctl_client_complete(client, result.value, result.error);
    device->observed_.readsUnderWay = device->debuggerReads_.size();
    device->observed_.controlsUnderWay = device->unanswered_.size();
    device->changed_.notify_all();
    return TRUE;
}

void EmulatedUsbDevice::OnConnected(UMockdevIoctlBase *, UMockdevIoctlClient *client,
                                    gpointer self) {
    auto *device = static_cast<EmulatedUsbDevice *>(self);
    std::lock_guard lock(device->mutex_);
    // A client object at the address of an earlier one means that one was closed: the kernel
    // then drops its claims and URBs.
    for (size_t number = 0; number < device->interfaces_.size(); ++number) {
        if (device->interfaces_[number].claimant == client) {
            device->Unbind(number);
        }
    }
    device->Forget(device->completed_[client]);
    for (auto *queue : {&device->debuggerReads_, &device->idleReads_, &device->unanswered_}) {
        device->Forget(*queue, client);
    }
    ++device->observed_.opens;
    device->changed_.notify_all();
}

EmulatedUsbDevice::Result EmulatedUsbDevice::Handle(UMockdevIoctlClient *client) {
    const gulong request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
    // Reaping stays allowed after an unplug, for the URBs it ended.
    if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY) {
        return Reap(client, arg);
    }
    if (gone_) {
        return {-1, ENODEV};
    }
    switch (request) {
    case USBDEVFS_GET_CAPABILITIES:
        return Capabilities(arg);
    case USBDEVFS_GETDRIVER:
        return GetDriver(arg);
    case USBDEVFS_IOCTL:
        return DriverIoctl(arg);
    case USBDEVFS_DISCONNECT_CLAIM:
        return DisconnectClaim(client, arg);
    case USBDEVFS_CLAIMINTERFACE:
        return Claim(client, arg);
    case USBDEVFS_RELEASEINTERFACE:
        return Release(client, arg);
    case USBDEVFS_SUBMITURB:
        return Submit(client, arg);
    case USBDEVFS_DISCARDURB:
        return Discard(client, arg);
    case USBDEVFS_SETINTERFACE:
    case USBDEVFS_CLEAR_HALT:
    case USBDEVFS_RESETEP:
    case USBDEVFS_RESET:
        return {0, 0};
    default:
        return {-1, ENOTTY};
    }
}

EmulatedUsbDevice::Result EmulatedUsbDevice::Capabilities(UMockdevIoctlData *arg) {
    auto *capabilities = Resolve<uint32_t>(arg, 0, sizeof(uint32_t));
    if (capabilities == nullptr) {
        return {-1, EFAULT};
    }
    *capabilities = kCapabilities;
    return {0, 0};
}

EmulatedUsbDevice::Result EmulatedUsbDevice::GetDriver(UMockdevIoctlData *arg) {
    auto *query = Resolve<usbdevfs_getdriver>(arg, 0, sizeof(usbdevfs_getdriver));
    if (query == nullptr) {
        return {-1, EFAULT};
    }
    if (query->interface >= interfaces_.size() || interfaces_[query->interface].driver.empty()) {
        return {-1, ENODATA};
    }
    std::snprintf(query->driver, sizeof query->driver, "%s",
                  interfaces_[query->interface].driver.c_str());
    return {0, 0};
}

// Detaching unbinds whatever driver holds the interface (a claim of usbfs included); attaching
// binds the driver the kernel would choose for it, and returns 1 when one was bound.
EmulatedUsbDevice::Result EmulatedUsbDevice::DriverIoctl(UMockdevIoctlData *arg) {
    auto *command = Resolve<usbdevfs_ioctl>(arg, 0, sizeof(usbdevfs_ioctl));
    if (command == nullptr) {
        return {-1, EFAULT};
    }
    if (command->ifno < 0 || size_t(command->ifno) >= interfaces_.size()) {
        return {-1, EINVAL};
    }
    const size_t number = size_t(command->ifno);
    Interface &interface = interfaces_[number];
    switch (command->ioctl_code) {
    case USBDEVFS_DISCONNECT:
        if (interface.driver.empty()) {
            return {-1, ENODATA};
        }
        Unbind(number);
        ++observed_.detaches;
        return {0, 0};
    case USBDEVFS_CONNECT:
        if (!interface.driver.empty()) {
            return {-1, EBUSY};
        }
        if (interface.native.empty()) {
            return {0, 0};
        }
        Bind(number, interface.native);
        ++observed_.reattaches;
        return {1, 0};
    default:
        return {-1, ENOTTY};
    }
}

EmulatedUsbDevice::Result EmulatedUsbDevice::DisconnectClaim(UMockdevIoctlClient *client,
                                                             UMockdevIoctlData *arg) {
    auto *command = Resolve<usbdevfs_disconnect_claim>(arg, 0, sizeof(usbdevfs_disconnect_claim));
    if (command == nullptr) {
        return {-1, EFAULT};
    }
    if (command->interface >= interfaces_.size()) {
        return {-1, ENOENT};
    }
    const std::string &driver = interfaces_[command->interface].driver;
    if (!driver.empty()) {
        bool named = driver ==
                     std::string(command->driver, strnlen(command->driver, sizeof command->driver));
        if (((command->flags & USBDEVFS_DISCONNECT_CLAIM_IF_DRIVER) != 0 && !named) ||
            ((command->flags & USBDEVFS_DISCONNECT_CLAIM_EXCEPT_DRIVER) != 0 && named)) {
            return {-1, EBUSY};
        }
        Unbind(command->interface);
        ++observed_.detaches;
    }
    return ClaimFor(client, command->interface);
}

EmulatedUsbDevice::Result EmulatedUsbDevice::Claim(UMockdevIoctlClient *client,
                                                   UMockdevIoctlData *arg) {
    auto *number = Resolve<unsigned int>(arg, 0, sizeof(unsigned int));
    if (number == nullptr) {
        return {-1, EFAULT};
    }
    if (*number >= interfaces_.size()) {
        return {-1, ENOENT};
    }
    return ClaimFor(client, *number);
}

EmulatedUsbDevice::Result EmulatedUsbDevice::Release(UMockdevIoctlClient *client,
                                                     UMockdevIoctlData *arg) {
    auto *number = Resolve<unsigned int>(arg, 0, sizeof(unsigned int));
    if (number == nullptr) {
        return {-1, EFAULT};
    }
    if (*number >= interfaces_.size()) {
        return {-1, ENOENT};
    }
    if (interfaces_[*number].claimant != client) {
        return {-1, EINVAL};
    }
    Unbind(*number);
    ++observed_.releases;
    return {0, 0};
}

// The handheld's debugger hears that the host has taken its interface and announces itself.
EmulatedUsbDevice::Result EmulatedUsbDevice::ClaimFor(UMockdevIoctlClient *client, size_t number) {
    Interface &interface = interfaces_[number];
    if (interface.claimant == client) {
        return {0, 0};
    }
    if (!interface.driver.empty()) {
        return {-1, EBUSY};
    }
    Bind(number, kUsbfsDriver);
    interface.claimant = client;
    ++observed_.claims;
    if (number == HandheldInterface() && setup_.handheld != nullptr) {
        setup_.handheld->Announce(now_);
        TakeHandheldOutput();
    }
    return {0, 0};
}

void EmulatedUsbDevice::Bind(size_t number, const std::string &driver) {
    Interface &interface = interfaces_[number];
    interface.driver = driver;
    std::string link = interface.dir + "/driver";
    unlink(link.c_str());
    if (symlink((driverLinkPrefix_ + driver).c_str(), link.c_str()) != 0) {
        ADD_FAILURE() << "cannot link " << link;
    }
    ShowDrivers();
}

void EmulatedUsbDevice::Unbind(size_t number) {
    Interface &interface = interfaces_[number];
    interface.driver.clear();
    interface.claimant = nullptr;
    unlink((interface.dir + "/driver").c_str());
    ShowDrivers();
}

void EmulatedUsbDevice::ShowDrivers() {
    observed_.driver = interfaces_[HandheldInterface()].driver;
    observed_.leadingDriver = setup_.leadingInterface ? interfaces_[0].driver : "";
}

EmulatedUsbDevice::Result EmulatedUsbDevice::Submit(UMockdevIoctlClient *client,
                                                    UMockdevIoctlData *arg) {
    GError *error = nullptr;
    UMockdevIoctlData *data = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), &error);
    if (data == nullptr) {
        g_clear_error(&error);
        return {-1, EFAULT};
    }
    usbdevfs_urb *urb = UrbOf(data);
    if (urb->buffer_length < 0) {
        return {-1, EINVAL};
    }
    Urb entry{data, nullptr, client};
    if (urb->buffer_length > 0) {
        entry.buffer = umockdev_ioctl_data_resolve(data, offsetof(usbdevfs_urb, buffer),
                                                   static_cast<gsize>(urb->buffer_length), &error);
        if (entry.buffer == nullptr) {
            g_clear_error(&error);
            return {-1, EFAULT};
        }
    }
    urb->status = 0;
    urb->actual_length = 0;
    g_object_ref(data); // until reaped
    Result result{-1, EINVAL};
    if (urb->type == USBDEVFS_URB_TYPE_CONTROL) {
        result = SubmitControl(entry);
    } else if (urb->type == USBDEVFS_URB_TYPE_BULK) {
        result = SubmitBulk(entry);
    }
    if (result.value < 0) {
        g_object_unref(data);
    }
    return result;
}

// The setup packet leads the buffer; the answer follows it.  Requests the device does not
// answer stall, or wait unanswered (they are NAKed) until discarded when the device is silent.
EmulatedUsbDevice::Result EmulatedUsbDevice::SubmitControl(Urb urb) {
    usbdevfs_urb *control = UrbOf(urb.data);
    if (urb.buffer == nullptr || static_cast<size_t>(control->buffer_length) < kSetupSize) {
        return {-1, EINVAL};
    }
    uint8_t *bytes = urb.buffer->data;
    const uint8_t request = bytes[1];
    const size_t wanted = bytes[6] | size_t(bytes[7]) << 8;
    std::vector<uint8_t> answer;
    bool vendorIn = (bytes[0] & kTypeAndDirection) == kVendorIn;
    if (vendorIn) {
        observed_.vendorRequests.push_back(request);
    }
    if (vendorIn && setup_.answers == ConnectionAnswers::Silent) {
        unanswered_.push_back(urb);
        return {0, 0};
    }
    if (!vendorIn || !ControlAnswer(request, &answer)) {
        Complete(urb, -EPIPE);
        return {0, 0};
    }
    size_t count = std::min({answer.size(), wanted, size_t(control->buffer_length) - kSetupSize});
    std::copy_n(answer.begin(), count, bytes + kSetupSize);
    control->actual_length = static_cast<int>(count);
    Complete(urb, 0);
    return {0, 0};
}

bool EmulatedUsbDevice::ControlAnswer(uint8_t request, std::vector<uint8_t> *answer) const {
    const bool extended = request == kExtConnectionRequest;
    if (!extended && request != kConnectionRequest) {
        return false;
    }
    switch (setup_.answers) {
    case ConnectionAnswers::Extended:
        *answer = extended ? kExtAnswer : kPlainAnswer;
        return true;
    case ConnectionAnswers::PlainOnly:
        *answer = kPlainAnswer;
        return !extended;
    case ConnectionAnswers::WithoutDebugger:
        *answer = extended ? kExtAnswerWithoutDebugger : kPlainAnswerWithoutDebugger;
        return true;
    case ConnectionAnswers::Neither:
    case ConnectionAnswers::Silent:
        return false;
    }
    return false;
}

bool EmulatedUsbDevice::HasEndpoint(uint8_t address) const {
    return std::find(std::begin(kEndpoints), std::end(kEndpoints), address) != std::end(kEndpoints);
}

// A bulk URB on an interface the file has not claimed claims it, as the kernel does.  Bytes
// for the debugger go to the handheld at once; reads wait for what it sends.
EmulatedUsbDevice::Result EmulatedUsbDevice::SubmitBulk(Urb urb) {
    usbdevfs_urb *bulk = UrbOf(urb.data);
    if (!HasEndpoint(bulk->endpoint)) {
        return {-1, ENOENT};
    }
    if (Result claimed = ClaimFor(urb.client, HandheldInterface()); claimed.value < 0) {
        return claimed;
    }
    NoteBulk();
    const bool debugger = setup_.handheld != nullptr;
    if ((bulk->endpoint & 0x80) != 0) {
        (debugger && bulk->endpoint == kDebuggerIn ? debuggerReads_ : idleReads_).push_back(urb);
        ServeReads();
        return {0, 0};
    }
    if (debugger && bulk->endpoint == kDebuggerOut && urb.buffer != nullptr) {
        setup_.handheld->Receive(urb.buffer->data, urb.buffer->data_len, now_);
        observed_.bytesToHandheld += static_cast<uint64_t>(urb.buffer->data_len);
        TakeHandheldOutput();
    }
    bulk->actual_length = bulk->buffer_length;
    Complete(urb, 0);
    ServeReads();
    return {0, 0};
}

void EmulatedUsbDevice::NoteBulk() {
    observed_.lastBulk = std::chrono::steady_clock::now();
    if (observed_.firstBulk == std::chrono::steady_clock::time_point{}) {
        observed_.firstBulk = observed_.lastBulk;
    }
}

// On USB the handheld's bytes take no wire time: a transmission is due when it may start.
void EmulatedUsbDevice::TakeHandheldOutput() {
    for (simulator::Transmission &t : setup_.handheld->TakeOutput()) {
        simulator::SimTime start = std::max(t.notBefore, lineFree_ + t.gap);
        lineFree_ = start;
        replies_.push_back({std::move(t.bytes), 0, start});
    }
}

// Reads under way take the handheld's transmissions in order, one per read (the handheld ends
// each with a short packet); when the next is not due yet, the clock moves on to it.
void EmulatedUsbDevice::ServeReads() {
    while (!debuggerReads_.empty() && !replies_.empty() && !Held()) {
        Urb urb = debuggerReads_.front();
        debuggerReads_.pop_front();
        FillRead(urb);
    }
}

// A read shorter than what is waiting takes whole packets; if its length is not a multiple of
// the packet size, the packet that does not fit overflows it and is lost.
void EmulatedUsbDevice::FillRead(Urb &urb) {
    Reply &reply = replies_.front();
    now_ = std::max(now_, reply.due);
    usbdevfs_urb *read = UrbOf(urb.data);
    const size_t room = static_cast<size_t>(read->buffer_length);
    const size_t left = reply.bytes.size() - reply.taken;
    const size_t count = std::min(left, room);
    size_t consumed = count;
    int status = 0;
    if (left > room && room % kMaxPacket != 0) {
        status = -EOVERFLOW;
        consumed = std::min(left, (room / kMaxPacket + 1) * kMaxPacket);
    }
    if (count > 0) {
        std::copy_n(reply.bytes.begin() + static_cast<long>(reply.taken), count, urb.buffer->data);
    }
    read->actual_length = static_cast<int>(count);
    reply.taken += consumed;
    if (reply.taken == reply.bytes.size()) {
        replies_.pop_front();
    }
    observed_.bytesFromHandheld += count;
    Complete(urb, status);
}

void EmulatedUsbDevice::Complete(Urb urb, int status) {
    UrbOf(urb.data)->status = status;
    completed_[urb.client].push_back(urb);
}

EmulatedUsbDevice::Result EmulatedUsbDevice::Reap(UMockdevIoctlClient *client,
                                                  UMockdevIoctlData *arg) {
    std::deque<Urb> &done = completed_[client];
    if (done.empty()) {
        return {-1, gone_ ? ENODEV : EAGAIN};
    }
    GError *error = nullptr;
    UMockdevIoctlData *pointer = umockdev_ioctl_data_resolve(arg, 0, sizeof(void *), &error);
    if (pointer == nullptr) {
        g_clear_error(&error);
        return {-1, EFAULT};
    }
    Urb urb = done.front();
    done.pop_front();
    umockdev_ioctl_data_set_ptr(pointer, 0, urb.data);
    g_object_unref(urb.data);
    return {0, 0};
}

// The argument is the URB's address in the client.  Only a URB still under way can be
// discarded; it is then reaped with -ENOENT.
EmulatedUsbDevice::Result EmulatedUsbDevice::Discard(UMockdevIoctlClient *client,
                                                     UMockdevIoctlData *arg) {
    if (arg->data_len < static_cast<gint>(sizeof(gulong))) {
        return {-1, EFAULT};
    }
    gulong address = 0;
    std::memcpy(&address, arg->data, sizeof address);
    for (auto *queue : {&debuggerReads_, &idleReads_, &unanswered_}) {
        auto found = std::find_if(queue->begin(), queue->end(), [&](const Urb &urb) {
            return urb.client == client && urb.data->client_addr == address;
        });
        if (found != queue->end()) {
            Urb urb = *found;
            queue->erase(found);
            UrbOf(urb.data)->actual_length = 0;
            Complete(urb, -ENOENT);
            return {0, 0};
        }
    }
    return {-1, EINVAL};
}

// Drops the URBs of `client`, or all of them.
void EmulatedUsbDevice::Forget(std::deque<Urb> &urbs, UMockdevIoctlClient *client) {
    for (auto urb = urbs.begin(); urb != urbs.end();) {
        if (client == nullptr || urb->client == client) {
            g_object_unref(urb->data);
            urb = urbs.erase(urb);
        } else {
            ++urb;
        }
    }
}

} // namespace ostervane::testing
