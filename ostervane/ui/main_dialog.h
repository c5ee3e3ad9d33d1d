// MainDialog: the window of a run.  It writes the banner line to the log, makes one job and one
// link per slot in use, opens serial ports at once and gives arriving USB handhelds to its USB
// pipes, and shows every slot's events.  Closing it (Done, Escape, the close box, or the end of
// a backup's turn) stops every job before anything it owns goes away.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "ostervane/core/run_log.h"
#include "ostervane/core/startup.h"
#include "ostervane/link/debug_packet.h"
#include "ostervane/link/usb_notifier.h"
#include "ostervane/ui/link_factory.h"
#include "ostervane/ui/qt_prompter.h"
#include "ostervane/ui/ui_thread_call.h"
#include "ostervane/ui/window_slot.h"

namespace ostervane::ui {

class UsbWakeUp;

struct SlotWidgets {
    QLabel *label = nullptr;
    QLabel *status = nullptr;
    QProgressBar *bar = nullptr;
};

class MainDialog : public QDialog {
    Q_OBJECT

public:
    // `log` and `links` must outlive the window.  `answerer` answers the jobs' message boxes
    // instead of real boxes (tests).
    MainDialog(const RunSettings &settings, RunLog &log, LinkFactory &links,
               BoxAnswerer answerer = nullptr, QWidget *parent = nullptr);
    ~MainDialog() override;

    // Stops every job first, then closes.
    void done(int result) override;

    // Applies an event to slot `index` (0..7) as its job would report it.
    void ApplyToSlot(int index, uint32_t code, const void *data);

    const SlotWidgets &Slot(int index) const { return widgets_[static_cast<size_t>(index)]; }
    int SlotsInUse() const { return static_cast<int>(jobs_.size()); }
    QPushButton *doneButton() const { return done_; }

private:
    void BuildControls();
    void StartSlots(const RunSettings &settings, LinkFactory &links);
    JobSettings SlotJobSettings(const RunSettings &settings, int index);
    void CloseFromJob();
    // Posted by name from the USB library's thread, so the queued call is made inside Qt.
    Q_INVOKABLE void DeliverUsbNotifications();
    void StopJobs();

    UsbPortLibrary *usbLibrary_ = nullptr; // given a log sink while the window lives
    RunLog &log_;
    QPushButton *done_ = nullptr;
    std::array<SlotWidgets, 8> widgets_;
    bool stopped_ = false;

    // Declared in the order of their making; destroyed in reverse: jobs first, then their
    // pipes, the notifier and the slots they reported to.
    UiThreadCall calls_;
    QtPrompter prompter_;
    std::vector<std::unique_ptr<WindowSlot>> slots_;
    std::shared_ptr<UsbWakeUp> usbWakeUp_;
    std::unique_ptr<UsbNotifier> notifier_;
    std::vector<std::unique_ptr<PipeBase>> serialPipes_;
    std::vector<std::unique_ptr<DebugPacket>> jobs_;
};

} // namespace ostervane::ui
