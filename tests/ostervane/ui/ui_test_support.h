// Shared pieces of the window tests: links to simulated handhelds (and to silent, broken and
// busy ports) behind the window's link factory, a folder and a log for each test, and a
// recorder of what a slot showed at each repaint.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QStringList>
#include <QTemporaryDir>

#include "ostervane/core/run_log.h"
#include "ostervane/platform/serial_pipe.h"
#include "ostervane/ui/link_factory.h"
#include "ostervane/ui/qt_prompter.h"
#include "platform/pty_test_support.h"
#include "simulator/rom_presets.h"
#include "simulator/simulated_pipe.h"
#include "simulator/usb/simulated_usb_library.h"

namespace ostervane::testing {

namespace sim = ostervane::simulator;

// A line on which nothing ever arrives: each read waits up to 50 ms (less when aborted) and
// gets nothing, as an idle serial port does.
class SilentPipe final : public PipeBase {
public:
    explicit SilentPipe(const std::string &name) : PipeBase(nullptr, nullptr) {
        displayName_ = name;
        readHandle_ = writeHandle_ = 1;
    }
    void Open() {
        SetOpenFlag(true);
        Notify(PipeOpened, nullptr, 0);
    }
    int32_t Configure(uint32_t) override { return 0; }
    int32_t Close() override { return 0; }
    bool IsHotPlug() const override { return false; }
    uint32_t GetMaxBaudRate() override { return 115200; }
    void SetMaxBaudRate(uint32_t) override {}

protected:
    int32_t ReceiveBytes(uint8_t *, uint32_t, uint32_t *received) override {
        for (int i = 0; i < 10 && !IsAborted(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        *received = 0;
        return IsAborted() ? PipeAborted : 0;
    }
    int32_t SendBytes(const uint8_t *, uint32_t count, uint32_t *sent) override {
        *sent = count;
        return 0;
    }
};

// A link whose handle is zero: every transfer fails with 774.  It runs one job per opening,
// so the failure stays in its slot.
class ZeroHandlePipe final : public PipeBase {
public:
    explicit ZeroHandlePipe(const std::string &name) : PipeBase(nullptr, nullptr) {
        displayName_ = name;
        readHandle_ = writeHandle_ = 0;
    }
    void Open() { Notify(PipeOpened, nullptr, 0); }
    int32_t Configure(uint32_t) override { return 0; }
    int32_t Close() override { return 0; }
    bool IsHotPlug() const override { return true; }
    uint32_t GetMaxBaudRate() override { return 0; }
    void SetMaxBaudRate(uint32_t) override {}

protected:
    int32_t ReceiveBytes(uint8_t *, uint32_t, uint32_t *) override { return 0; }
    int32_t SendBytes(const uint8_t *, uint32_t, uint32_t *) override { return 0; }
};

// What sits behind each port name the tests use.
enum class PortKind { Handheld, PacedHandheld, Silent, ZeroHandle, Busy };

// The window's links in tests: serial ports as configured by name (a simulated handheld of a
// model by default) and a simulated USB library.
class TestLinks final : public ui::LinkFactory {
public:
    struct Port {
        PortKind kind = PortKind::Handheld;
        std::string model = "68k-v5";
    };

    void Set(const std::string &name, Port port) { ports_[name] = port; }

    // With `holdOpens` set, the window's port openings wait for OpenHeld (so that a test can
    // first wait for the window to be on the screen).
    bool holdOpens = false;
    void OpenHeld() {
        for (auto &open : held_) {
            open();
        }
        held_.clear();
    }

    ui::SerialLink MakeSerialLink(const PortEntry &entry) override {
        ui::SerialLink link = MakeLink(entry);
        if (holdOpens) {
            link.open = [this, open = link.open] { held_.push_back(open); };
        }
        return link;
    }

    ui::SerialLink MakeLink(const PortEntry &entry) {
        Port port = ports_.count(entry.displayName) ? ports_[entry.displayName] : Port{};
        switch (port.kind) {
        case PortKind::Silent: {
            auto pipe = std::make_unique<SilentPipe>(entry.displayName);
            SilentPipe *raw = pipe.get();
            return {std::move(pipe), [raw] { raw->Open(); }};
        }
        case PortKind::ZeroHandle: {
            auto pipe = std::make_unique<ZeroHandlePipe>(entry.displayName);
            ZeroHandlePipe *raw = pipe.get();
            return {std::move(pipe), [raw] { raw->Open(); }};
        }
        case PortKind::Busy: {
            // Another program holds the pseudo-terminal the port stands for.
            ptys_.push_back(std::make_unique<PtyPair>());
            holders_.push_back(std::make_unique<SerialPipe>(ptys_.back()->SlavePath(), "holder", 0,
                                                            nullptr, nullptr));
            holders_.back()->Start();
            auto pipe = std::make_unique<SerialPipe>(ptys_.back()->SlavePath(), entry.displayName,
                                                     0, nullptr, nullptr);
            SerialPipe *raw = pipe.get();
            return {std::move(pipe), [raw] { raw->Start(); }};
        }
        default:
            break;
        }
        handhelds_.push_back(sim::MakeHandheld(*sim::FindHandheldModel(port.model)));
        sim::SimulatedPipeOptions options;
        options.displayName = entry.displayName;
        options.timing = port.kind == PortKind::PacedHandheld ? sim::PipeTiming::Paced
                                                              : sim::PipeTiming::Virtual;
        auto pipe = std::make_unique<sim::SimulatedPipe>(*handhelds_.back(), options);
        sim::SimulatedPipe *raw = pipe.get();
        return {std::move(pipe), [raw] { raw->Open(); }};
    }

    UsbPortLibrary &UsbLibrary() override { return usb; }

    sim::HandheldDebugger &NewHandheld(const std::string &model = "68k-v5") {
        handhelds_.push_back(sim::MakeHandheld(*sim::FindHandheldModel(model)));
        return *handhelds_.back();
    }

    // Declared first: destroyed after the window's pipes that use them.
    std::vector<std::unique_ptr<sim::HandheldDebugger>> handhelds_;
    sim::SimulatedUsbLibrary usb;

private:
    std::map<std::string, Port> ports_;
    std::vector<std::function<void()>> held_;
    std::vector<std::unique_ptr<PtyPair>> ptys_;
    std::vector<std::unique_ptr<SerialPipe>> holders_;
};

inline std::vector<PortEntry> PortsNamed(const QStringList &names) {
    std::vector<PortEntry> ports;
    for (const QString &name : names) {
        ports.push_back({"/dev/" + name.toStdString(), name.toStdString()});
    }
    return ports;
}

// A folder for the test with the run log in it.
struct RunFolder {
    QTemporaryDir dir;
    RunLog log;

    RunFolder() { log.Open(LogPath()); }
    std::string LogPath() const {
        return dir.filePath(QStringLiteral("Keelstone.log")).toStdString();
    }
    std::string File(const char *name) const {
        return dir.filePath(QLatin1String(name)).toStdString();
    }
    // The log's lines without their date and time.
    QStringList LogTexts() const {
        QFile file(QString::fromStdString(LogPath()));
        file.open(QIODevice::ReadOnly | QIODevice::Text);
        QStringList texts;
        for (const QString &line :
             QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)) {
            int at = line.indexOf(QStringLiteral(":  "));
            texts << (at < 0 ? QStringLiteral("<malformed> ") + line : line.mid(at + 3));
        }
        return texts;
    }
};

// Answers the jobs' message boxes OK and notes their captions and texts.
struct BoxRecorder {
    QStringList captions, texts;
    ui::BoxAnswerer Answerer() {
        return [this](const ui::PromptBox &box) {
            captions << QString::fromStdString(box.caption);
            texts << QString::fromStdString(box.text);
            return PromptAnswer::Ok;
        };
    }
};

// Notes what a slot's status line and bar showed each time the window was repainted.
class SlotWatcher : public QObject {
public:
    SlotWatcher(QLabel *status, QProgressBar *bar) : status_(status), bar_(bar) {
        status_->installEventFilter(this);
    }
    QStringList statuses; // each text once, in order of appearance
    int paints = 0;
    int barShownMax = -1; // the largest range seen while the bar was visible
    bool barSeenVisible = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched == status_ && event->type() == QEvent::Paint) {
            ++paints;
            if (statuses.isEmpty() || statuses.back() != status_->text()) {
                statuses << status_->text();
            }
            if (bar_->isVisible()) {
                barSeenVisible = true;
                barShownMax = std::max(barShownMax, bar_->maximum());
            }
        }
        return false;
    }

private:
    QLabel *status_;
    QProgressBar *bar_;
};

} // namespace ostervane::testing
